# Precompiled headers. Nearly every source includes the Windows, COM and
# standard headers below, and parsing them is most of what a product source
# costs to compile (about 0.8 s of 1.2 s here). Each tree parses them once per
# set of compile options instead of once per source: targets reuse the
# precompiled header of a small target of their own options.
#
# A source that does not need some of these headers still gets them, which is
# harmless: they are all system headers, included with the tree's own
# definitions (UNICODE, WIN32_LEAN_AND_MEAN, NOMINMAX, the Windows version).

set(VELMORA_PCH_HEADERS
  <windows.h> <objbase.h> <oleauto.h>
  <cstdio> <cstring> <cwchar> <memory> <new> <string> <vector>)

# velmora_pch_target(<name> <headers>...)
# A static library with one empty source that builds the precompiled header
# for the options of the directory it is declared in.
function(velmora_pch_target name)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp)
  if(NOT EXISTS ${source})
    file(WRITE ${source} "// Only carries the precompiled header of ${name}.\n")
  endif()
  add_library(${name} STATIC ${source})
  target_precompile_headers(${name} PRIVATE ${ARGN})
endfunction()

# velmora_reuse_pch(<pch target> DIRECTORIES <dir>... [EXCEPT <target>...])
# Every library and program declared in those directories (and below them)
# reuses the precompiled header of <pch target>, built with the same options.
function(velmora_reuse_pch pch)
  cmake_parse_arguments(ARG "" "" "DIRECTORIES;EXCEPT" ${ARGN})
  set(pending ${ARG_DIRECTORIES})
  while(pending)
    list(POP_FRONT pending dir)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    list(APPEND pending ${subdirs})
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      if(target STREQUAL pch OR target IN_LIST ARG_EXCEPT)
        continue()
      endif()
      # Only targets with C++ sources: the header is precompiled for C++.
      get_target_property(type ${target} TYPE)
      get_target_property(sources ${target} SOURCES)
      list(FILTER sources INCLUDE REGEX "\\.cpp$")
      if(sources AND type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|EXECUTABLE)$")
        target_precompile_headers(${target} REUSE_FROM ${pch})
      endif()
    endforeach()
  endwhile()
endfunction()
