# Debian packages under /opt/tavrin, each made by one tavrin_deb_package() call below:
#   tavrin-plugin            the plugin module and its translations: what goes onto a terminal;
#   tavrin-standin-host      the stand-in host library, its form project, the simulators and the
#                            scenarios, to try the plugin in;
#   tavrin-standin-host-dev  the stand-in's headers, its library's link and a CMake package
#                            configuration, to build a host prototype against the stand-in.
#   cmake --build build --target package
include(CMakePackageConfigHelpers)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "tavrin")
set(CPACK_PACKAGE_VENDOR "Tavrin plugin maintainers")
set(CPACK_PACKAGE_CONTACT "maintainers@users.noreply.c-seed-216d5bcd.example")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_VENDOR} <${CPACK_PACKAGE_CONTACT}>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/opt/tavrin")
set(CPACK_DEB_COMPONENT_INSTALL ON)
# The programs find the host library and the plugin relative to themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)

# Debian's copyright and changelog of every package, where Debian's tools look for them
# whatever the package's prefix.
set(TAVRIN_DEB_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/deb")
set(TAVRIN_DEB_DOC_DIR "${CMAKE_CURRENT_BINARY_DIR}/deb-doc")
file(MAKE_DIRECTORY "${TAVRIN_DEB_DOC_DIR}")
execute_process(
    COMMAND gzip -9nc "${TAVRIN_DEB_SOURCE_DIR}/changelog"
    OUTPUT_FILE "${TAVRIN_DEB_DOC_DIR}/changelog.gz"
    RESULT_VARIABLE gzip_result)
if(NOT gzip_result EQUAL 0)
    message(FATAL_ERROR "gzip could not compress the packages' changelog")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${TAVRIN_DEB_SOURCE_DIR}/changelog")

# tavrin_deb_package(<component or group> <package name> SECTION <section>
#                    DOC_COMPONENT <component> [DEPENDS <dependencies>]
#                    SUMMARY <one line> DESCRIPTION <lines of the long description>)
# Names the package made of a component, or of a group of them, and gives it its own text and
# Debian's files. A DESCRIPTION line "." starts a new paragraph, as in Debian's control files.
function(tavrin_deb_package key name)
    cmake_parse_arguments(ARG "" "SECTION;DOC_COMPONENT;DEPENDS;SUMMARY" "DESCRIPTION" ${ARGN})
    string(TOUPPER "${key}" upper)
    string(JOIN "\n" description "${ARG_SUMMARY}" ${ARG_DESCRIPTION})
    set(CPACK_DEBIAN_${upper}_PACKAGE_NAME "${name}" PARENT_SCOPE)
    set(CPACK_DEBIAN_${upper}_PACKAGE_SECTION "${ARG_SECTION}" PARENT_SCOPE)
    set(CPACK_DEBIAN_${upper}_DESCRIPTION "${description}" PARENT_SCOPE)
    if(ARG_DEPENDS)
        set(CPACK_DEBIAN_${upper}_PACKAGE_DEPENDS "${ARG_DEPENDS}" PARENT_SCOPE)
    endif()
    install(FILES "${TAVRIN_DEB_SOURCE_DIR}/copyright" "${TAVRIN_DEB_DOC_DIR}/changelog.gz"
        DESTINATION "/usr/share/doc/${name}" COMPONENT ${ARG_DOC_COMPONENT})
endfunction()

# The CMake package of the stand-in host: find_package(PaymentHost), PaymentHost::paymenthost.
set(TAVRIN_CMAKE_PACKAGE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/PaymentHost")
if(TARGET Qt6::Core)
    set(TAVRIN_QT_PACKAGE Qt6)
    set(TAVRIN_QT_DEV_PACKAGE qt6-base-dev)
else()
    set(TAVRIN_QT_PACKAGE Qt5)
    set(TAVRIN_QT_DEV_PACKAGE qtbase5-dev)
endif()
configure_package_config_file("${CMAKE_CURRENT_LIST_DIR}/PaymentHostConfig.cmake.in"
    "${CMAKE_CURRENT_BINARY_DIR}/PaymentHostConfig.cmake"
    INSTALL_DESTINATION "${TAVRIN_CMAKE_PACKAGE_DIR}")
write_basic_package_version_file("${CMAKE_CURRENT_BINARY_DIR}/PaymentHostConfigVersion.cmake"
    COMPATIBILITY SameMajorVersion)
install(EXPORT PaymentHostTargets NAMESPACE PaymentHost::
    DESTINATION "${TAVRIN_CMAKE_PACKAGE_DIR}" COMPONENT dev)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/PaymentHostConfig.cmake"
              "${CMAKE_CURRENT_BINARY_DIR}/PaymentHostConfigVersion.cmake"
    DESTINATION "${TAVRIN_CMAKE_PACKAGE_DIR}" COMPONENT dev)

set(CPACK_COMPONENTS_ALL plugin runtime simulators dev)
set(CPACK_COMPONENT_RUNTIME_GROUP standin)
set(CPACK_COMPONENT_SIMULATORS_GROUP standin)

# For terminals whose host runs on Qt 6: the same files built against Qt 6, so one of the two.
if(TAVRIN_QT EQUAL 6)
    set(TAVRIN_PLUGIN_PACKAGE tavrin-plugin-qt6)
    set(CPACK_DEBIAN_PLUGIN_PACKAGE_CONFLICTS "tavrin-plugin")
else()
    set(TAVRIN_PLUGIN_PACKAGE tavrin-plugin)
endif()
tavrin_deb_package(plugin ${TAVRIN_PLUGIN_PACKAGE} SECTION misc DOC_COMPONENT plugin
    SUMMARY "online customer check before a payment, as a payment terminal plugin"
    DESCRIPTION
        "Before a payment to the providers 71000454, 72000434 and 113003105 the plugin"
        "asks the customer's phone number, checks the customer with a remote check"
        "service over the terminal's STOMP message bus, asks the data the service"
        "needs screen by screen and fills the provider's payment parameters."
        "."
        "The package holds the plugin module libtavrinplugin.so and its Russian and"
        "English translations in /opt/tavrin/lib/paymenthost/plugins, and nothing"
        "else: the terminal's host application loads the module and provides the"
        "classes it uses.")

tavrin_deb_package(standin tavrin-standin-host SECTION misc DOC_COMPONENT runtime
    DEPENDS "${TAVRIN_PLUGIN_PACKAGE} (= ${PROJECT_VERSION})"
    SUMMARY "stand-in payment terminal host and simulators for the Tavrin plugin"
    DESCRIPTION
        "A stand-in for the payment terminal's host application, to run the Tavrin"
        "online check plugin away from a terminal."
        "."
        "It holds the stand-in host library libpaymenthost.so.1 with its default form"
        "project, the terminal simulator tavrin-terminal, the check-service simulator"
        "tavrin-checkservice, the service checker tavrin-servicecheck and the shipped"
        "scenarios, all under /opt/tavrin.")

tavrin_deb_package(dev tavrin-standin-host-dev SECTION libdevel DOC_COMPONENT dev
    DEPENDS "tavrin-standin-host (= ${PROJECT_VERSION}), ${TAVRIN_QT_DEV_PACKAGE}"
    SUMMARY "headers and CMake package of the stand-in payment terminal host"
    DESCRIPTION
        "What a host prototype is built against: the stand-in host's headers in"
        "/opt/tavrin/include/paymenthost, the link libpaymenthost.so and a CMake"
        "package configuration, so that find_package(PaymentHost) with"
        "/opt/tavrin in CMAKE_PREFIX_PATH gives the target PaymentHost::paymenthost."
        "."
        "The headers are those the Tavrin plugin is built against.")

include(CPack)
