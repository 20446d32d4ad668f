# Runs the Windows test executables under wine64, in a private prefix inside
# the build folder. See scripts/wine-session.sh for why a keep-alive program
# starts Wine's background processes before ctest runs anything.
include(GoogleTest)

set(VELMORA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
# Every test program, and every program it starts, runs under Wine's heap
# checking: with warn+heap the heap validates the block behind each free and
# reallocation, so a double free, a pointer that is not a live block or a
# block whose header was overwritten is reported (err+heap shows what a
# validation finds). Wine says nothing of this kind about itself here; any
# such line in a test's output fails that test (VELMORA_HEAP_WARNING), and
# otherwise its exit code decides as before.
set(VELMORA_WINE_ENV
    WINEPREFIX=${VELMORA_WINEPREFIX}
    WINEDEBUG=-all,err+heap,warn+heap
    WINEDLLOVERRIDES=winemenubuilder.exe,mscoree,mshtml=d)
set(VELMORA_HEAP_WARNING "(err|warn):heap:")
if(VELMORA_ARCH STREQUAL i686)
  # The 32-bit tests run in wine64's WoW64 mode, on Wine's 32-bit PE DLLs.
  if(NOT VELMORA_WINEDLLPATH)
    message(FATAL_ERROR "the i686 tests need VELMORA_WINEDLLPATH (scripts/build.sh sets it)")
  endif()
  list(APPEND VELMORA_WINE_ENV WINEDLLPATH=${VELMORA_WINEDLLPATH})
endif()
set(VELMORA_WINE64 /usr/lib/wine/wine64)
set(VELMORA_WINE_SESSION ${CMAKE_SOURCE_DIR}/scripts/wine-session.sh)

# GoogleTest, cross-built from the Debian sources.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Like the tests themselves, compiled for a quick build (see tests/CMakeLists.txt).
foreach(_gtest_target gtest gtest_main gmock gmock_main)
  target_compile_options(${_gtest_target} PRIVATE -O1 -g1)
endforeach()

# ctest reads this file before it asks any test executable for its test list,
# so the session (and the prefix, on first use) exists before discovery runs.
file(WRITE ${CMAKE_BINARY_DIR}/wine-session-start.cmake
  "execute_process(COMMAND sh ${VELMORA_WINE_SESSION} start ${CMAKE_BINARY_DIR}\n"
  "                RESULT_VARIABLE rc)\n"
  "if(NOT rc EQUAL 0)\n  message(WARNING \"wine session failed to start: \${rc}\")\nendif()\n")
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY
  TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/wine-session-start.cmake)

add_test(NAME wine_session_start
         COMMAND sh ${VELMORA_WINE_SESSION} start ${CMAKE_BINARY_DIR})
add_test(NAME wine_session_stop
         COMMAND sh ${VELMORA_WINE_SESSION} stop ${CMAKE_BINARY_DIR})
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine)

# Where GoogleTest's own discovery script lives, to run it in a child cmake.
set(VELMORA_GTEST_ADD_TESTS ${CMAKE_ROOT}/Modules/GoogleTestAddTests.cmake)

# velmora_discover_wine_tests(<target> PROPERTIES <ctest properties>...)
# Lists a test program's cases when ctest starts, as gtest_discover_tests'
# PRE_TEST mode does (the Wine prefix exists only then), but in a child cmake:
# a program that cannot list its tests becomes one failing test,
# <target>_DISCOVERY_FAILED, that shows why, instead of an error that ends
# the whole ctest run before any other program's tests have run. A listing
# that fails is made once more: now and then a Wine process dies at start-up
# with no output at all, and ctest's second run of a failed test cannot
# repeat a listing.
function(velmora_discover_wine_tests target)
  cmake_parse_arguments(ARG "" "" "PROPERTIES" ${ARGN})
  get_property(emulator TARGET ${target} PROPERTY CROSSCOMPILING_EMULATOR)
  set(base "${CMAKE_CURRENT_BINARY_DIR}/${target}")
  set(tests "${base}_tests.cmake")
  set(log "${base}_discovery.log")
  set(include "${base}_include.cmake")
  string(CONCAT content
    "if(EXISTS [==[$<TARGET_FILE:${target}>]==])\n"
    "  if(NOT EXISTS [==[${tests}]==] OR\n"
    "     NOT [==[${tests}]==] IS_NEWER_THAN [==[$<TARGET_FILE:${target}>]==] OR\n"
    "     NOT [==[${tests}]==] IS_NEWER_THAN \"\${CMAKE_CURRENT_LIST_FILE}\")\n"
    "    set(outs \"\")\n"
    "    foreach(attempt 1 2)\n"
    "      execute_process(COMMAND [==[${CMAKE_COMMAND}]==]\n"
    "        [==[-DTEST_TARGET=${target}]==]\n"
    "        [==[-DTEST_EXECUTABLE=$<TARGET_FILE:${target}>]==]\n"
    "        [==[-DTEST_EXECUTOR=${emulator}]==]\n"
    "        [==[-DTEST_WORKING_DIR=${CMAKE_CURRENT_BINARY_DIR}]==]\n"
    "        [==[-DTEST_PROPERTIES=${ARG_PROPERTIES}]==]\n"
    "        [==[-DTEST_LIST=${target}_TESTS]==]\n"
    "        [==[-DCTEST_FILE=${tests}]==]\n"
    "        [==[-DTEST_DISCOVERY_TIMEOUT=120]==]\n"
    "        -P [==[${VELMORA_GTEST_ADD_TESTS}]==]\n"
    "        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)\n"
    "      string(APPEND outs \"attempt \${attempt}:\n\${out}\n\")\n"
    "      if(rc EQUAL 0)\n"
    "        break()\n"
    "      endif()\n"
    "    endforeach()\n"
    "    if(NOT rc EQUAL 0)\n"
    "      file(REMOVE [==[${tests}]==])\n"
    "      file(WRITE [==[${log}]==] \"\${outs}\")\n"
    "    endif()\n"
    "  endif()\n"
    "  if(EXISTS [==[${tests}]==])\n"
    "    include([==[${tests}]==])\n"
    "  else()\n"
    "    add_test([==[${target}_DISCOVERY_FAILED]==] /bin/sh -c\n"
    "      [==[echo '${target}: listing its tests failed:'; cat '${log}'; exit 1]==])\n"
    "  endif()\n"
    "else()\n"
    "  add_test([==[${target}_NOT_BUILT]==] [==[${target}_NOT_BUILT]==])\n"
    "endif()\n")
  file(GENERATE OUTPUT "${include}" CONTENT "${content}")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${include}")
endfunction()

# velmora_add_wine_gtest(<target> [PROPERTIES <ctest properties>...])
# Runs every test case of a GoogleTest executable as its own ctest test.
function(velmora_add_wine_gtest target)
  cmake_parse_arguments(ARG "" "" "PROPERTIES" ${ARGN})
  target_link_libraries(${target} PRIVATE gmock gtest_main)
  target_precompile_headers(${target} REUSE_FROM velmora_test_pch)
  # The session that ctest starts first needs its keep-alive program.
  add_dependencies(${target} wine_keepalive)
  set_property(TARGET ${target} PROPERTY CROSSCOMPILING_EMULATOR
               /usr/bin/env ${VELMORA_WINE_ENV} ${VELMORA_WINE64})
  velmora_discover_wine_tests(${target}
    PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300
               FAIL_REGULAR_EXPRESSION ${VELMORA_HEAP_WARNING} ${ARG_PROPERTIES})
endfunction()
