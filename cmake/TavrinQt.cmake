# The Qt major the tree is built with, chosen at configure time: 5, what terminals run today, or
# 6 (-DTAVRIN_QT=6). The top level and the plugin built alone (cmake -S src) both read it here.
set(TAVRIN_QT 5 CACHE STRING "Qt major version to build with: 5 or 6")
set_property(CACHE TAVRIN_QT PROPERTY STRINGS 5 6)
if(NOT TAVRIN_QT MATCHES "^[56]$")
    message(FATAL_ERROR "TAVRIN_QT=${TAVRIN_QT}: the tree builds with Qt 5 or Qt 6 (-DTAVRIN_QT=5|6)")
endif()

# The oldest Qt of each major: the plugin's own (integrators build it against what their
# terminal runs), and that of the stand-in, the simulators, the tests and the tools. The plugin
# keeps to C++11 where Qt 5 terminals are built so; Qt 6's headers need C++17.
if(TAVRIN_QT EQUAL 5)
    set(TAVRIN_QT_PLUGIN_MINIMUM 5.3)
    set(TAVRIN_QT_MINIMUM 5.15)
    set(TAVRIN_PLUGIN_CXX_STANDARD 11)
else()
    set(TAVRIN_QT_PLUGIN_MINIMUM 6.2)
    set(TAVRIN_QT_MINIMUM 6.2)
    set(TAVRIN_PLUGIN_CXX_STANDARD 17)
endif()
