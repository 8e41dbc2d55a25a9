# Debian package of the program and the device-link library:
#   cmake --build build -j2 && (cd build && cpack -G DEB)
set(CPACK_PACKAGE_NAME "mirovane-updater")
set(CPACK_PACKAGE_VENDOR "Mirovane")
set(CPACK_PACKAGE_CONTACT "Mirovane <support@mirovane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware updater for Kelvarion modules, with the Kelvarion device-link library")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
# Run-time dependencies are worked out from the installed binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_GENERATOR "DEB")
include(CPack)
