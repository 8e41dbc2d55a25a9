# What `cmake --install` puts beside the program and the library, by component:
#   runtime      the shared library (libkelvarion2)
#   development  headers, the .so link, the CMake package and kelvarion.pc
#                (libkelvarion-dev)
#   program      Updater, its manual page, bash completion and udev rule
#                (mirovane-updater)
#   tools        mkbird, simmodule, update-server, simisp, simsdp (mirovane-updater-tools)
# Each component also gets the Debian documentation files (copyright and
# changelog) in its package's documentation directory.
include(CMakePackageConfigHelpers)

set(UPDATER_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
  "Where the udev rule is installed (relative to the prefix, or absolute)")
set(_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(_generated ${PROJECT_BINARY_DIR}/packaging)

# ---- CMake package and pkg-config file of the library ----
set(KELVARION_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Kelvarion)
install(EXPORT KelvarionTargets NAMESPACE Kelvarion:: DESTINATION ${KELVARION_CMAKE_DIR}
  COMPONENT development)
configure_package_config_file(${_packaging}/cmake/KelvarionConfig.cmake.in
  ${_generated}/KelvarionConfig.cmake INSTALL_DESTINATION ${KELVARION_CMAKE_DIR})
write_basic_package_version_file(${_generated}/KelvarionConfigVersion.cmake
  VERSION ${KELVARION_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${_generated}/KelvarionConfig.cmake ${_generated}/KelvarionConfigVersion.cmake
  DESTINATION ${KELVARION_CMAKE_DIR} COMPONENT development)

# kelvarion.pc finds the prefix from its own place, so any prefix works; in
# the system prefix it names /usr, so that pkg-config leaves out system paths.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(KELVARION_PC_PREFIX "/usr")
else()
  file(RELATIVE_PATH _to_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" _to_prefix "${_to_prefix}")
  set(KELVARION_PC_PREFIX "\${pcfiledir}/${_to_prefix}")
endif()
configure_file(${_packaging}/cmake/kelvarion.pc.in ${_generated}/kelvarion.pc @ONLY)
install(FILES ${_generated}/kelvarion.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# ---- The program's manual page, completion and udev rule ----
# Compressed now (gzip -n: no name or time stamp, so the build is reproducible).
function(updater_gzip source output)
  execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${output} RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "gzip ${source} failed")
  endif()
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()

configure_file(${_packaging}/man/Updater.1.in ${_generated}/Updater.1 @ONLY)
updater_gzip(${_generated}/Updater.1 ${_generated}/Updater.1.gz)
install(FILES ${_generated}/Updater.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program)
install(FILES ${_packaging}/completion/Updater
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT program)
install(FILES ${_packaging}/udev/60-kelvarion.rules DESTINATION ${UPDATER_UDEV_RULES_DIR} COMPONENT program)

# ---- The tools, with manual pages made from their --help ----
foreach(_entry "mkbird;mkbird;build and dump BIRD firmware files"
               "simmodule-bin;simmodule;a simulated Kelvarion module for tests"
               "update-server;update-server;a reference update server for tests"
               "simisp-bin;simisp;a simulated serial ISP boot loader for tests"
               "simsdp-bin;simsdp;a simulated serial-download boot loader for tests")
  list(GET _entry 0 _target)
  list(GET _entry 1 _name)
  list(GET _entry 2 _summary)
  if(NOT TARGET ${_target})
    continue()
  endif()
  install(TARGETS ${_target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  if(CMAKE_CROSSCOMPILING)
    continue()
  endif()
  add_custom_command(OUTPUT ${_generated}/${_name}.1.gz
    COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:${_target}> -DNAME=${_name} "-DSUMMARY=${_summary}"
            -DVERSION=${PROJECT_VERSION} -DOUT=${_generated}/${_name}.1.gz -P ${_packaging}/cmake/HelpToMan.cmake
    DEPENDS ${_target} ${_packaging}/cmake/HelpToMan.cmake
    COMMENT "Manual page of ${_name}")
  add_custom_target(${_name}-manpage ALL DEPENDS ${_generated}/${_name}.1.gz)
  install(FILES ${_generated}/${_name}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
endforeach()
set(_tools_doc ${CMAKE_INSTALL_DATADIR}/doc/mirovane-updater-tools)
install(FILES ${PROJECT_SOURCE_DIR}/tools/README.md DESTINATION ${_tools_doc} COMPONENT tools)
foreach(_tool mkbird simmodule update-server simisp simsdp)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/${_tool}/README.md DESTINATION ${_tools_doc}
    RENAME README.${_tool}.md COMPONENT tools)
endforeach()

# ---- Documentation of each package: copyright notice and changelog ----
# The changelog names its package and version, one per package.
foreach(_entry "runtime;libkelvarion2;${KELVARION_VERSION}" "development;libkelvarion-dev;${KELVARION_VERSION}"
               "program;mirovane-updater;${PROJECT_VERSION}" "tools;mirovane-updater-tools;${PROJECT_VERSION}")
  list(GET _entry 0 _component)
  list(GET _entry 1 PACKAGE_NAME)
  list(GET _entry 2 PACKAGE_VERSION)
  configure_file(${_packaging}/debian/changelog.in ${_generated}/${PACKAGE_NAME}/changelog @ONLY)
  updater_gzip(${_generated}/${PACKAGE_NAME}/changelog ${_generated}/${PACKAGE_NAME}/changelog.gz)
  install(FILES ${_packaging}/debian/copyright ${_generated}/${PACKAGE_NAME}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${PACKAGE_NAME} COMPONENT ${_component})
endforeach()
