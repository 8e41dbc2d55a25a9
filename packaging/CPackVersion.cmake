# Read by cpack: the library's packages carry the library's version, the
# program's and the tools' the program's. cpack is run once per group with
# -D CPACK_COMPONENTS_ALL=... (scripts/package.sh does).
if(CPACK_COMPONENTS_ALL MATCHES "program|tools")
  set(CPACK_PACKAGE_VERSION "${CPACK_UPDATER_VERSION}")
else()
  set(CPACK_PACKAGE_VERSION "${CPACK_KELVARION_VERSION}")
endif()
