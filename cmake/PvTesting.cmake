# Test helpers shared by every tests/ folder.
#
# pv_add_test(NAME <name> COMMAND <target> [args...] [TIMEOUT s] [GUI])
#   Registers a test. In the Windows build it runs under Wine through the
#   runner; GUI tests are serialised (one desktop) and all of them share the
#   Wine fixture that starts Xvfb and one wineserver and stops both at the end.
#
# pv_add_gtest_folder(<name> TESTS files... [LIBS libs...] [SOURCES files...] [ALONE files...] [GUI])
#   Builds the named test files of the calling folder (with any further
#   SOURCES) into one GoogleTest program named test_<name> and registers it.
#   Natively, files ending in _win.cpp are left out.
#   The test files of a program compile as one unit (CMake's unity build)
#   when PV_TEST_UNITY is on: each file alone spends most of its time on
#   GoogleTest's headers and templates, which a unit of them all compiles
#   once. ALONE names test files that compile apart from the unit (their
#   file-local names clash with another file's, or they replace the global
#   operator new). Off, each file compiles
#   alone (to check that its includes suffice).

option(PV_TEST_UNITY "Compile each test program's files as one unit" ON)

set(PV_WINE_ENV ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh)

function(pv_register_wine_fixture)
  get_property(done GLOBAL PROPERTY PV_WINE_FIXTURE)
  if(done OR PV_NATIVE)
    return()
  endif()
  set_property(GLOBAL PROPERTY PV_WINE_FIXTURE ON)
  add_test(NAME wine_start COMMAND ${PV_WINE_ENV} start ${CMAKE_BINARY_DIR})
  add_test(NAME wine_stop COMMAND ${PV_WINE_ENV} stop ${CMAKE_BINARY_DIR})
  set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
endfunction()

function(pv_add_test)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "COMMAND" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(NOT PV_NATIVE)
    pv_register_wine_fixture()
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED wine)
    if(T_GUI)
      set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK desktop)
    endif()
  endif()
endfunction()

# The unit of a test program; the files in `alone` compile apart. A file
# that replaces the global allocation functions must be among them: in the
# unit the other files would see the replacement's body, and GCC warns of
# mismatched allocations that are none.
# GCC takes a fixture in a file's anonymous namespace for one declared in a
# header once the unit includes the file (-Wsubobject-linkage): no fault in a
# unit, so that warning is off there.
function(pv_test_unity target alone)
  set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)
  foreach(src ${ARGN})
    if(src IN_LIST alone)
      set_source_files_properties(${src} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
    endif()
  endforeach()
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
  endif()
endfunction()

function(pv_add_gtest_folder name)
  cmake_parse_arguments(T "GUI" "TIMEOUT" "TESTS;LIBS;SOURCES;ALONE" ${ARGN})
  set(srcs ${T_TESTS})
  if(PV_NATIVE)
    # Only the portable tests build natively: files ending in _win.cpp need Windows.
    list(FILTER srcs EXCLUDE REGEX "_win\\.cpp$")
  endif()
  if(NOT srcs)
    return()
  endif()
  add_executable(test_${name} ${srcs} ${T_SOURCES})
  if(PV_TEST_UNITY)
    pv_test_unity(test_${name} "${T_ALONE}" ${srcs})
  endif()
  target_link_libraries(test_${name} PRIVATE ${T_LIBS} gtest gtest_main)
  target_include_directories(test_${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  set(args)
  if(T_GUI)
    set(args GUI)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  # Under Wine a Unix path needs the drive that maps the Unix root.
  set(report ${CMAKE_BINARY_DIR}/results/test_${name}.xml)
  if(NOT PV_NATIVE)
    set(report Z:${report})
  endif()
  pv_add_test(NAME test_${name} COMMAND test_${name} --gtest_output=xml:${report} TIMEOUT ${T_TIMEOUT} ${args})
endfunction()
