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
