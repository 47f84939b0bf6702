# A Debian package of what an integrator copies onto a terminal: the plugin with its
# translations, the stand-in host library and form project, the simulators and scenarios.
#   cmake --build build --target package
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "tavrin-plugin")
set(CPACK_PACKAGE_VENDOR "Tavrin plugin maintainers")
set(CPACK_PACKAGE_CONTACT "maintainers@users.noreply.c-seed-216d5bcd.example")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Online customer check before a payment, as a plugin of the payment terminal")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/opt/tavrin")
# The programs find the host library and the plugin relative to themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION "misc")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
