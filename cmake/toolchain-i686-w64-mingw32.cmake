# Cross-building for 32-bit Windows with Debian's MinGW-w64 toolchain (posix
# thread model, so std::thread and std::mutex work). Test programs run under
# Wine through CMAKE_CROSSCOMPILING_EMULATOR, so ctest works as on Linux.
#
#   cmake -S . -B build-win32/app -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
#         -DUPDATER_WIN32_SYSROOT=$PWD/build-win32/sysroot
#
# UPDATER_WIN32_SYSROOT is where scripts/windows-deps.sh installed GoogleTest,
# libcurl and hidapi.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

if(NOT UPDATER_WIN32_SYSROOT AND DEFINED ENV{UPDATER_WIN32_SYSROOT})
  set(UPDATER_WIN32_SYSROOT "$ENV{UPDATER_WIN32_SYSROOT}")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES UPDATER_WIN32_SYSROOT)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32 ${UPDATER_WIN32_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees only the sysroot's libraries, never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} "${UPDATER_WIN32_SYSROOT}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
