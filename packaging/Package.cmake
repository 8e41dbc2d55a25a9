# Debian packages, one per install component (see Install.cmake):
#   libkelvarion2          the shared library (named after its SONAME), with
#                          shlibs and the ldconfig trigger
#   libkelvarion-dev       headers, the .so link, CMake package, kelvarion.pc
#   mirovane-updater       the program, manual page, completion, udev rule
#   mirovane-updater-tools mkbird, simmodule, update-server
# scripts/package.sh builds them and checks them with lintian. The library's
# packages carry the library's version, the others the program's: cpack is run
# once per group (CPACK_COMPONENTS_ALL), and packaging/CPackVersion.cmake picks
# the version for the group.
set(CPACK_PACKAGE_NAME "mirovane-updater")
set(CPACK_PACKAGE_VENDOR "Mirovane")
set(CPACK_PACKAGE_CONTACT "Mirovane <support@mirovane.invalid>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development program tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps finds our own library in the build tree; the dependency on
# its package is written out (libkelvarion2 is not installed while packaging).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/link)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://mirovane.invalid/kelvarion")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/CPackVersion.cmake)
set(CPACK_KELVARION_VERSION ${KELVARION_VERSION})
set(CPACK_UPDATER_VERSION ${PROJECT_VERSION})

# libkelvarion2
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME "libkelvarion2")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION "libs")
# shlibs for every package holding a shared library (only this one does).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/libkelvarion2/triggers)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Kelvarion device-link library
The device-link library of Mirovane's Kelvarion modules, small USB and
Ethernet instruments and hubs that speak a common packet protocol: packets
and packet queues, byte streams over files, serial ports, sockets and USB,
the packet link with its reader and writer threads, discovery of the modules
over USB and TCP/IP, and the Mirovane::Kelvarion object interface (Link,
Module and the entity classes).
.
This package holds the shared library.")

# libkelvarion-dev
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME "libkelvarion-dev")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION "libdevel")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libkelvarion2 (= ${KELVARION_VERSION})")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "Kelvarion device-link library - development files
The device-link library of Mirovane's Kelvarion modules: packets, streams,
packet links, discovery and the Mirovane::Kelvarion object interface.
.
This package holds the headers, the link to the shared library, the CMake
package (find_package(Kelvarion), target Kelvarion::kelvarion) and the
pkg-config file kelvarion.pc.")

# mirovane-updater
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME "mirovane-updater")
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS "libkelvarion2 (>= ${KELVARION_VERSION})")
set(CPACK_COMPONENT_PROGRAM_DESCRIPTION "Firmware updater for Kelvarion modules
Updater keeps the firmware of Mirovane's Kelvarion modules up to date: it
discovers the modules reachable over USB or TCP/IP or behind a routing
module, asks the update server which firmware builds exist for a module,
downloads a build into a local store, transfers it into a running module, and
recovers a module whose firmware does not run through its processor's boot
loader.
.
The package holds the program, its manual page, bash completion and a udev
rule that lets the user at the machine open the modules without root.")

# mirovane-updater-tools
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME "mirovane-updater-tools")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION "devel")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "Stand-ins to try and test the Kelvarion firmware updater
Tools to try and test the Updater program without hardware or network:
mkbird builds and dumps BIRD firmware files, simmodule simulates a Kelvarion
module over TCP or a pseudo-terminal (with its loader and fault switches),
and update-server is a reference update server with fault switches.")

# Windows: a ZIP archive (cpack -G ZIP in the cross build directory) with
# bin/Updater.exe, bin/kelvarion.dll and the DLLs they load from the build
# toolchain (the C++ and GCC run time, POSIX threads, zlib) beside them,
# include/kelvarion/ with the public headers and lib/libkelvarion.dll.a, the
# import library. The run time is shared, not static, so that the program and
# the library use one C++ run time (exceptions and objects cross the DLL).
if(WIN32)
  foreach(_dll libstdc++-6.dll libgcc_s_dw2-1.dll libwinpthread-1.dll zlib1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_dll}
      OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${_path}" OR NOT EXISTS "${_path}")
      find_file(_path_${_dll} ${_dll} PATHS ${CMAKE_FIND_ROOT_PATH} PATH_SUFFIXES bin lib NO_DEFAULT_PATH)
      set(_path "${_path_${_dll}}")
    endif()
    if(NOT EXISTS "${_path}")
      message(FATAL_ERROR "Run-time library ${_dll} not found for the Windows package")
    endif()
    install(FILES "${_path}" DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  endforeach()
  set(CPACK_GENERATOR "ZIP")
  set(CPACK_SYSTEM_NAME "win32")
endif()
include(CPack)
