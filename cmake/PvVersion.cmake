# One version for everything that carries one: the version resources of the
# program, the editor and the language modules, the manifest, the archive's
# name and the library's build number (the third field of the project's
# version). Writes ${PV_GENERATED_DIR}/pv_version.h for C++ and resource
# scripts, and the manifest with the same version.
#
# The build date the program shows (the library's build version, the HTTP
# user agent) is the time of the commit, not of the build, so that two builds
# of one commit are equal byte for byte: SOURCE_DATE_EPOCH when the
# environment gives it (scripts/package.sh does), else the commit time that
# git reports, else the time of configuring (a tree without history).
set(PV_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)

if(DEFINED ENV{SOURCE_DATE_EPOCH} AND "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
  set(PV_BUILD_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  set(PV_BUILD_EPOCH "")
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE PV_BUILD_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
  endif()
  if(NOT PV_BUILD_EPOCH MATCHES "^[0-9]+$")
    string(TIMESTAMP PV_BUILD_EPOCH "%s" UTC)
  endif()
endif()

set(PV_VERSION_QUAD "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
configure_file(${CMAKE_SOURCE_DIR}/cmake/pv_version.h.in ${PV_GENERATED_DIR}/pv_version.h @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/app/res/PrintvaneUI.exe.manifest.in
               ${PV_GENERATED_DIR}/PrintvaneUI.exe.manifest @ONLY)
