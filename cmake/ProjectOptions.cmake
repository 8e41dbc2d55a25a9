# Warnings are errors everywhere in our own code.
add_compile_options(-Wall -Wextra -Werror)

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

# updater_add_gtest(NAME SOURCES a.cpp b.cpp LIBS x y [LABELS label])
# One GoogleTest executable whose cases are registered with CTest one by one.
function(updater_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  # An empty LABELS value would swallow the next property name, so a label is
  # only passed when given. Test discovery carries one label per executable.
  set(_props TIMEOUT 300)
  if(T_LABELS)
    list(GET T_LABELS 0 _label)
    list(APPEND _props LABELS ${_label})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${_props})
endfunction()
