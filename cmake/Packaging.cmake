# Two Debian packages: the plugin with its translations, which is what goes onto a terminal, and
# the stand-in host library and form project with the simulators and scenarios, which an
# integrator tries the plugin in.
#   cmake --build build --target package
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "tavrin")
set(CPACK_PACKAGE_VENDOR "Tavrin plugin maintainers")
set(CPACK_PACKAGE_CONTACT "maintainers@users.noreply.c-seed-216d5bcd.example")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Online customer check before a payment, as a plugin of the payment terminal")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/opt/tavrin")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL plugin runtime simulators)
set(CPACK_COMPONENT_RUNTIME_GROUP standin)
set(CPACK_COMPONENT_SIMULATORS_GROUP standin)
if(TAVRIN_QT EQUAL 6)
    # For terminals whose host runs on Qt 6: the same files built against Qt 6, so one of the two.
    set(CPACK_DEBIAN_PLUGIN_PACKAGE_NAME "tavrin-plugin-qt6")
    set(CPACK_DEBIAN_PLUGIN_PACKAGE_CONFLICTS "tavrin-plugin")
else()
    set(CPACK_DEBIAN_PLUGIN_PACKAGE_NAME "tavrin-plugin")
endif()
set(CPACK_COMPONENT_PLUGIN_DESCRIPTION
    "Online customer check before a payment, as a plugin of the payment terminal")
set(CPACK_DEBIAN_STANDIN_PACKAGE_NAME "tavrin-standin-host")
set(CPACK_COMPONENT_GROUP_STANDIN_DESCRIPTION
    "Stand-in payment terminal host, simulators and scenarios to try the Tavrin plugin in")
# The simulators play the plugin's dialogues.
set(CPACK_DEBIAN_STANDIN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PLUGIN_PACKAGE_NAME} (= ${PROJECT_VERSION})")
# The programs find the host library and the plugin relative to themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION "misc")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
