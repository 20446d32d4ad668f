# Runs the Windows test executables under wine64, in a private prefix inside
# the build folder. See scripts/wine-session.sh for why a keep-alive program
# starts Wine's background processes before ctest runs anything.
include(GoogleTest)

set(VELMORA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(VELMORA_WINE_ENV
    WINEPREFIX=${VELMORA_WINEPREFIX}
    WINEDEBUG=-all
    WINEDLLOVERRIDES=winemenubuilder.exe,mscoree,mshtml=d)
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

# velmora_add_wine_gtest(<target> [PROPERTIES <ctest properties>...])
# Runs every test case of a GoogleTest executable as its own ctest test.
function(velmora_add_wine_gtest target)
  cmake_parse_arguments(ARG "" "" "PROPERTIES" ${ARGN})
  target_link_libraries(${target} PRIVATE gmock gtest_main)
  # The session that ctest starts first needs its keep-alive program.
  add_dependencies(${target} wine_keepalive)
  set_property(TARGET ${target} PROPERTY CROSSCOMPILING_EMULATOR
               /usr/bin/env ${VELMORA_WINE_ENV} ${VELMORA_WINE64})
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300 ${ARG_PROPERTIES})
endfunction()
