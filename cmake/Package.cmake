# What ships, as a host team deploys it, and the package that carries it.
#
# `cmake --install <tree> --prefix <folder>` lays out the product (component
# "product"):
#   bin/                 Velmora.dll, velmoractl.exe, without debug information
#   include/velmora/     the interface header widl generates from module/Velmora.idl,
#                        and Velmora_i.c, the GUID definitions a client compiles in
#   lib/                 Velmora.tlb, the type library the DLL carries as resource 1
#   share/doc/velmora/   the README and the deployment guide
# Two more components are installed only when named (--component <name>):
#   "symbols"  bin/<binary>.debug: the debug information split off the two
#              binaries, which each find again through their .gnu_debuglink
#   "tryout"   the host stand-ins, the stand-in logging library and the sample
#              programs, for trying the product out without a host platform
# scripts/package.sh turns "product" and "symbols" into
# Velmora-<version>-win32.zip and Velmora-<version>-win32-symbols.zip (-win64
# for the x86_64 tree) with CPack.

# The binaries as they ship: the debug information and the symbol table (1.9
# of the i686 DLL's 2.3 MB) go into <name>.debug, and the shipped copy names
# that file, with its checksum, in a .gnu_debuglink section, so a debugger
# given both reads a crash from a node. The tested binaries in bin/ stay as
# they are.
set(_velmora_release_dir ${CMAKE_BINARY_DIR}/release)
set(_velmora_release_files)
function(velmora_release_binary target file)
  set(stripped ${_velmora_release_dir}/bin/${file})
  set(debug ${_velmora_release_dir}/symbols/${file}.debug)
  add_custom_command(
    OUTPUT ${stripped} ${debug}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_velmora_release_dir}/bin
            ${_velmora_release_dir}/symbols
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> ${debug}
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${debug}
            $<TARGET_FILE:${target}> ${stripped}
    DEPENDS ${target}
    COMMENT "objcopy ${file}: shipped copy and its debug information"
    VERBATIM)
  install(PROGRAMS ${stripped} DESTINATION bin COMPONENT product)
  install(FILES ${debug} DESTINATION bin COMPONENT symbols EXCLUDE_FROM_ALL)
  set(_velmora_release_files ${_velmora_release_files} ${stripped} ${debug} PARENT_SCOPE)
endfunction()
velmora_release_binary(Velmora Velmora.dll)
velmora_release_binary(velmoractl velmoractl.exe)
# Part of every build, so that a built tree can always be installed; the two
# copies cost a fraction of a second.
add_custom_target(velmora_release ALL DEPENDS ${_velmora_release_files})

install(FILES ${VELMORA_GENERATED_DIR}/Velmora.h ${VELMORA_GENERATED_DIR}/Velmora_i.c
        DESTINATION include/velmora COMPONENT product)
install(FILES ${VELMORA_GENERATED_DIR}/Velmora.tlb DESTINATION lib COMPONENT product)
# The documents a deployer reads: registration, the logging library's
# "InstallPath", the rights the host needs, the security notes.
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/docs/deploying.md
              ${CMAKE_SOURCE_DIR}/docs/security.md
        DESTINATION share/doc/velmora COMPONENT product)

# A node supplies its own host components; these stand in for them. The
# target velmora_tryout builds what the component installs.
set(_velmora_tryout HostStandins LoggerDLL cooperative_app stubborn_app sample_service)
install(TARGETS ${_velmora_tryout}
        RUNTIME DESTINATION bin COMPONENT tryout EXCLUDE_FROM_ALL
        LIBRARY DESTINATION bin COMPONENT tryout EXCLUDE_FROM_ALL)
add_custom_target(velmora_tryout)
add_dependencies(velmora_tryout ${_velmora_tryout})

# Installing (and so packing) builds nothing: the tree is also the tests'
# tree, and the package needs only the targets scripts/package.sh builds.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(_velmora_package_system win32)
else()
  set(_velmora_package_system win64)
endif()
set(CPACK_PACKAGE_NAME Velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME ${_velmora_package_system})
set(CPACK_PACKAGE_FILE_NAME Velmora-${PROJECT_VERSION}-${_velmora_package_system})
set(CPACK_GENERATOR ZIP)
# One archive per component: the product, and its symbols beside it. Both
# unpack into the same top-level folder, so the .debug files land beside the
# binaries that name them.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL product symbols)
set(CPACK_ARCHIVE_PRODUCT_FILE_NAME ${CPACK_PACKAGE_FILE_NAME})
set(CPACK_ARCHIVE_SYMBOLS_FILE_NAME ${CPACK_PACKAGE_FILE_NAME}-symbols)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
