# Test helpers shared by the three kinds of tests.
#
# Test names carry their kind as a prefix (host., san., win., e2e.) so that
# one ctest run over all build trees lists every test once.

if(VELDRUN_SANITIZE)
  set(VELDRUN_TEST_PREFIX "san.")
elseif(WIN32)
  set(VELDRUN_TEST_PREFIX "win.")
else()
  set(VELDRUN_TEST_PREFIX "host.")
endif()

set(VELDRUN_WINE_RUN ${CMAKE_SOURCE_DIR}/tests/wine/run.sh)

if(VELDRUN_TESTS)
  if(WIN32)
    set(_deps "$ENV{VELDRUN_DEPS}")
    if(NOT _deps)
      set(_deps "$ENV{HOME}/.cache/veldrun-deps")
    endif()
    list(APPEND CMAKE_PREFIX_PATH "${_deps}/gtest-${VELDRUN_ARCH}")
  endif()
  find_package(GTest REQUIRED)
  find_package(Threads REQUIRED)
endif()

# veldrun_host_test(NAME src... [LIBS lib...]): a GoogleTest program of the
# portable code, built natively (and under the sanitizers).
function(veldrun_host_test name)
  if(WIN32)
    return()
  endif()
  cmake_parse_arguments(A "" "" "LIBS" ${ARGN})
  add_executable(${name} ${A_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE vdr_portable ${A_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  add_test(NAME ${VELDRUN_TEST_PREFIX}${name} COMMAND ${name} --gtest_brief=1
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

# veldrun_win_test(NAME src... [LIBS lib...] [GUI]): a GoogleTest program run
# under Wine in the build tree's prefix. GUI tests get the Xvfb display.
function(veldrun_win_test name)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(A "" "" "LIBS;RESOURCES" ${ARGN})
  add_executable(${name} ${A_UNPARSED_ARGUMENTS} ${A_RESOURCES})
  veldrun_rc_depends(${A_RESOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} vdr_portable GTest::gtest GTest::gtest_main Threads::Threads)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    veldrun_wine_test(${name} $<TARGET_FILE:${name}> --gtest_brief=1)
  endif()
endfunction()

# veldrun_wine_test(NAME exe args...): runs a Windows program under Wine.
function(veldrun_wine_test name)
  add_test(NAME ${VELDRUN_TEST_PREFIX}${name}
           COMMAND ${VELDRUN_WINE_RUN} ${CMAKE_BINARY_DIR} ${ARGN}
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${VELDRUN_TEST_PREFIX}${name} PROPERTIES
    FIXTURES_REQUIRED wine RESOURCE_LOCK wineprefix TIMEOUT 600)
endfunction()

# veldrun_e2e_test(NAME script.py): an end-to-end test that drives
# Veldrun.exe under Wine; the script gets the build tree and the programs.
function(veldrun_e2e_test name script)
  if(NOT WIN32 OR NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    return()
  endif()
  add_test(NAME e2e.${name}
           COMMAND python3 ${script} ${ARGN}
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(e2e.${name} PROPERTIES
    FIXTURES_REQUIRED wine RESOURCE_LOCK wineprefix TIMEOUT 900
    ENVIRONMENT "VELDRUN_BUILD=${CMAKE_BINARY_DIR};VELDRUN_SOURCE=${CMAKE_SOURCE_DIR};VELDRUN_EXE=$<TARGET_FILE:Veldrun>")
endfunction()

# Resource scripts include other scripts, bitmaps and icons, which the build
# does not scan; every .rc compiled in this project depends on all of res/.
file(GLOB_RECURSE VELDRUN_RES_FILES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/res/*.rc ${CMAKE_SOURCE_DIR}/res/*.h ${CMAKE_SOURCE_DIR}/res/*.bmp
  ${CMAKE_SOURCE_DIR}/res/*.ico ${CMAKE_SOURCE_DIR}/res/*.in)
function(veldrun_rc_depends)
  foreach(rc ${ARGN})
    set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${VELDRUN_RES_FILES})
  endforeach()
endfunction()
