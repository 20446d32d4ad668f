# Compiles an IDL file with widl into a header, GUID definitions and a type library.
#   velmora_widl(<name> <idl>) defines:
#     <name>_HEADER, <name>_IID (GUID source), <name>_TLB, and the folder <name>_DIR.
# Everything generated lands in VELMORA_GENERATED_DIR, which the install rules
# (cmake/Package.cmake) read the header, GUIDs and type library from.
set(VELMORA_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(VELMORA_WINE_IDL_DIR /usr/include/wine/wine/windows)
if(EXISTS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/stdole2.tlb)
  # Only the 64-bit copy ships with wine64; widl reads it just for the imported
  # type descriptions, which are identical for both targets.
  set(VELMORA_STDOLE_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
endif()

function(velmora_widl name idl)
  set(out ${VELMORA_GENERATED_DIR})
  file(MAKE_DIRECTORY ${out})
  get_filename_component(base ${idl} NAME_WE)
  get_filename_component(idl_abs ${idl} ABSOLUTE)
  set(header ${out}/${base}.h)
  set(iid ${out}/${base}_i.c)
  set(tlb ${out}/${base}.tlb)
  # Named relative to the source folder: widl writes the name into the header
  # and GUID file, which ship: the path of the machine that built them has
  # no place there.
  file(RELATIVE_PATH idl_rel ${CMAKE_SOURCE_DIR} ${idl_abs})
  add_custom_command(
    OUTPUT ${header} ${iid} ${tlb}
    COMMAND ${VELMORA_WIDL} ${VELMORA_WIDL_TARGET}
            -I${VELMORA_WINE_IDL_DIR} -L${VELMORA_STDOLE_DIR}
            -h -H ${header} -u -U ${iid} -t -T ${tlb} ${idl_rel}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    DEPENDS ${idl_abs}
    COMMENT "widl ${base}.idl"
    VERBATIM)
  set(${name}_HEADER ${header} PARENT_SCOPE)
  set(${name}_IID ${iid} PARENT_SCOPE)
  set(${name}_TLB ${tlb} PARENT_SCOPE)
  set(${name}_DIR ${out} PARENT_SCOPE)
endfunction()
