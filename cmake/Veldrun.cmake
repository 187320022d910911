# Test helpers shared by the three kinds of tests.
#
# Test names carry their kind as a prefix (host., san., win., win32., e2e.)
# so that one ctest run over all build trees lists every test once.
#
# Each Windows tree is a test lane of its own: its own Wine prefix, display
# and wineserver (the fixture wine-<arch>), and a lock per prefix, so that
# the win64 and the win32 lane run side by side (ctest -j2). The win32 lane
# runs the release build under i386 Wine, which runs emulated: about a
# minute a program start.

if(VELDRUN_SANITIZE)
  set(VELDRUN_TEST_PREFIX "san.")
elseif(VELDRUN_ARCH STREQUAL "win32")
  set(VELDRUN_TEST_PREFIX "win32.")
elseif(WIN32)
  set(VELDRUN_TEST_PREFIX "win.")
else()
  set(VELDRUN_TEST_PREFIX "host.")
endif()

set(VELDRUN_WINE_RUN ${CMAKE_SOURCE_DIR}/tests/wine/run.sh)
set(VELDRUN_WINE_BOUNDED ${CMAKE_SOURCE_DIR}/tests/wine/bounded.sh)
set(VELDRUN_WINE_FIXTURE wine-${VELDRUN_ARCH})
set(VELDRUN_WINE_LOCK wineprefix-${VELDRUN_ARCH})
# The win32 lane's end-to-end suite uses the win64 tree's helper programs
# (fakepatch, winctl, winprobe): 64-bit programs start natively in the
# lane's 64-bit prefix, where a 32-bit one would cost a minute each.
set(VELDRUN_HELPER_TREE "${CMAKE_BINARY_DIR}/../win64" CACHE PATH
    "Build tree whose e2e helper programs the win32 lane uses")

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
  # Both lanes run every program: the release build's 32-bit code differs in
  # calling conventions of callbacks, COM, thread start, pointer-sized message
  # parameters and the registry view.
  veldrun_wine_test(${name} $<TARGET_FILE:${name}> --gtest_brief=1)
endfunction()

# veldrun_wine_test(NAME exe args...): runs a Windows program under Wine in
# the tree's lane. A program that hangs is ended before ctest's timeout,
# together with the lane's wineserver.
function(veldrun_wine_test name)
  if(VELDRUN_ARCH STREQUAL "win32")
    set(limit 900)
  else()
    set(limit 600)
  endif()
  math(EXPR bound "${limit} - 30")
  add_test(NAME ${VELDRUN_TEST_PREFIX}${name}
           COMMAND ${VELDRUN_WINE_BOUNDED} ${CMAKE_BINARY_DIR} ${bound} ${VELDRUN_WINE_RUN} ${CMAKE_BINARY_DIR} ${ARGN}
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${VELDRUN_TEST_PREFIX}${name} PROPERTIES
    FIXTURES_REQUIRED ${VELDRUN_WINE_FIXTURE} RESOURCE_LOCK ${VELDRUN_WINE_LOCK} TIMEOUT ${limit})
endfunction()

# veldrun_e2e_test(NAME script.py): an end-to-end test that drives
# Veldrun.exe under Wine; the script gets the build tree and the programs.
function(veldrun_e2e_test name script)
  if(NOT WIN32 OR NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    return()
  endif()
  add_test(NAME e2e.${name}
           COMMAND ${VELDRUN_WINE_BOUNDED} ${CMAKE_BINARY_DIR} 870 python3 ${script} ${ARGN}
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(e2e.${name} PROPERTIES
    FIXTURES_REQUIRED ${VELDRUN_WINE_FIXTURE} RESOURCE_LOCK ${VELDRUN_WINE_LOCK} TIMEOUT 900
    ENVIRONMENT "VELDRUN_BUILD=${CMAKE_BINARY_DIR};VELDRUN_SOURCE=${CMAKE_SOURCE_DIR};VELDRUN_EXE=$<TARGET_FILE:Veldrun>")
endfunction()

# veldrun_release_test(NAME script.py): an end-to-end suite of the win32
# lane that drives the release build, with the win64 tree's helpers.
function(veldrun_release_test name script)
  if(NOT VELDRUN_ARCH STREQUAL "win32")
    return()
  endif()
  add_test(NAME e2e.${name}
           COMMAND ${VELDRUN_WINE_BOUNDED} ${CMAKE_BINARY_DIR} 1170 python3 ${script}
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(e2e.${name} PROPERTIES
    FIXTURES_REQUIRED ${VELDRUN_WINE_FIXTURE} RESOURCE_LOCK ${VELDRUN_WINE_LOCK} TIMEOUT 1200
    ENVIRONMENT "VELDRUN_BUILD=${CMAKE_BINARY_DIR};VELDRUN_SOURCE=${CMAKE_SOURCE_DIR};VELDRUN_EXE=$<TARGET_FILE:Veldrun>;VELDRUN_TOOLS_BUILD=${VELDRUN_HELPER_TREE}")
endfunction()

# veldrun_release_program(TARGET): a program users get carries no debug
# information nor symbols (the sanitizer build keeps them for its reports).
function(veldrun_release_program target)
  if(NOT VELDRUN_SANITIZE AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    target_link_options(${target} PRIVATE -s)
  endif()
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

# veldrun_delay_imports(dll...): for each system DLL an imported library
# target vdr_delay_<dll> through which it is loaded at the first call of one
# of its functions, not when the process starts (scripts/delay-import-lib.py).
# Made when the tree is configured, from the toolchain's import libraries.
# x86-64 only: binutils 2.40's i386 delay-import libraries leave the import
# address slots zero (the first call jumps to address 0), so the 32-bit
# tree's vdr_delay_<dll> is the plain import library.
function(veldrun_delay_imports)
  foreach(dll ${ARGN})
    if(NOT VELDRUN_ARCH STREQUAL "win64")
      add_library(vdr_delay_${dll} INTERFACE IMPORTED GLOBAL)
      set_target_properties(vdr_delay_${dll} PROPERTIES INTERFACE_LINK_LIBRARIES ${dll})
      continue()
    endif()
    find_library(VELDRUN_IMPLIB_${dll} NAMES lib${dll}.a REQUIRED NO_CACHE)
    set(lib ${CMAKE_BINARY_DIR}/delayimp/lib${dll}.a)
    if(NOT EXISTS ${lib} OR ${VELDRUN_IMPLIB_${dll}} IS_NEWER_THAN ${lib})
      file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/delayimp)
      execute_process(COMMAND python3 ${CMAKE_SOURCE_DIR}/scripts/delay-import-lib.py ${CMAKE_NM} ${CMAKE_DLLTOOL}
                              ${VELDRUN_IMPLIB_${dll}} ${dll}.dll ${lib}
                      RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR "no delay-load import library for ${dll}.dll")
      endif()
    endif()
    add_library(vdr_delay_${dll} STATIC IMPORTED GLOBAL)
    set_target_properties(vdr_delay_${dll} PROPERTIES IMPORTED_LOCATION ${lib})
  endforeach()
endfunction()
