# What a driver ships, laid out by `cmake --install` of the i686 build and
# packed by scripts/package.sh: the program, its language modules, the
# profile editor, the default profiles, the licence texts and the
# integrator's guide. Install rules live beside their targets (app/,
# tools/); this file adds the documents and the archive test.
if(PV_NATIVE)
  return()
endif()

install(FILES ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/THIRD_PARTY_NOTICES DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/docs/INTEGRATION.md DESTINATION docs)

# The archive's name: printvane-ui-<version>-<win32|win64>.zip.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(PV_ARCHIVE_PLATFORM win64)
else()
  set(PV_ARCHIVE_PLATFORM win32)
endif()
set(PV_ARCHIVE_NAME printvane-ui-${PROJECT_VERSION}-${PV_ARCHIVE_PLATFORM})
file(WRITE ${CMAKE_BINARY_DIR}/archive-name "${PV_ARCHIVE_NAME}\n")

# The archive test: the release archive of this build unpacked into a fresh
# Wine prefix outside the build folder, installed as docs/INTEGRATION.md
# says, and a print job of the converter stand-in run against the unpacked
# program. It makes its own Wine prefix and session, so it needs no fixture;
# it takes the desktop lock only to keep the machine's load down.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_test(NAME release_archive
    COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/test-archive.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(release_archive PROPERTIES TIMEOUT 600 RESOURCE_LOCK desktop)
endif()
