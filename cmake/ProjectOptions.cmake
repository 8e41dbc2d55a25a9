# Warnings are errors everywhere in our own code.
add_compile_options(-Wall -Wextra -Werror)

if(WIN32)
  # Windows 7 and later; no min/max macros from the system headers.
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN)
endif()

# Linux-only tests (network namespaces, pseudo-terminals, POSIX processes,
# shell scripts) carry this label, and are left out of a Windows build.
set(UPDATER_LINUX_ONLY_LABEL linux-only)

if(UPDATER_SANITIZE)
  string(REPLACE ";" "," _san "${UPDATER_SANITIZE}")
  add_compile_options(-fsanitize=${_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_san})
endif()

# Adds every subdirectory of DIR that holds a CMakeLists.txt, so that each
# area can add its own tests, tools or benchmarks without touching a shared file.
function(updater_add_subdirectories dir)
  file(GLOB _children LIST_DIRECTORIES true "${dir}/*")
  list(SORT _children)
  foreach(_child ${_children})
    if(IS_DIRECTORY "${_child}" AND EXISTS "${_child}/CMakeLists.txt")
      add_subdirectory("${_child}")
    endif()
  endforeach()
endfunction()

# updater_add_gtest(NAME SOURCES a.cpp b.cpp LIBS x y [LABELS label] [LINUX_ONLY])
# One GoogleTest executable whose cases are registered with CTest one by one.
# LINUX_ONLY: the tests need what only Linux has (pseudo-terminals, network
# namespaces, POSIX processes); they are not built for Windows.
function(updater_add_gtest name)
  cmake_parse_arguments(T "LINUX_ONLY" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(T_LINUX_ONLY AND WIN32)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  # An empty LABELS value would swallow the next property name, so a label is
  # only passed when given. Test discovery carries one label per executable.
  set(_props TIMEOUT 300)
  # One label only: a Linux-only executable without one of its own is
  # labelled linux-only (one that is also threaded keeps "threaded" for the
  # ThreadSanitizer run).
  if(T_LINUX_ONLY AND NOT T_LABELS)
    set(T_LABELS ${UPDATER_LINUX_ONLY_LABEL})
  endif()
  if(T_LABELS)
    list(GET T_LABELS 0 _label)
    list(APPEND _props LABELS ${_label})
  endif()
  if(CMAKE_CROSSCOMPILING)
    # The test list is asked for when ctest runs (under the emulator), not
    # while building.
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 DISCOVERY_MODE PRE_TEST PROPERTIES ${_props})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${_props})
  endif()
endfunction()
