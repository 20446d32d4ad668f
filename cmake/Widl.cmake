# Compiles an IDL file with widl into a header, GUID definitions and a type library.
#   velmora_widl(<name> <idl>) defines:
#     <name>_HEADER, <name>_IID (GUID source), <name>_TLB, and the folder <name>_DIR.
set(VELMORA_WINE_IDL_DIR /usr/include/wine/wine/windows)
if(EXISTS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/stdole2.tlb)
  # Only the 64-bit copy ships with wine64; widl reads it just for the imported
  # type descriptions, which are identical for both targets.
  set(VELMORA_STDOLE_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
endif()

function(velmora_widl name idl)
  set(out ${CMAKE_BINARY_DIR}/generated)
  file(MAKE_DIRECTORY ${out})
  get_filename_component(base ${idl} NAME_WE)
  get_filename_component(idl_abs ${idl} ABSOLUTE)
  set(header ${out}/${base}.h)
  set(iid ${out}/${base}_i.c)
  set(tlb ${out}/${base}.tlb)
  add_custom_command(
    OUTPUT ${header} ${iid} ${tlb}
    COMMAND ${VELMORA_WIDL} ${VELMORA_WIDL_TARGET}
            -I${VELMORA_WINE_IDL_DIR} -L${VELMORA_STDOLE_DIR}
            -h -H ${header} -u -U ${iid} -t -T ${tlb} ${idl_abs}
    DEPENDS ${idl_abs}
    COMMENT "widl ${base}.idl"
    VERBATIM)
  set(${name}_HEADER ${header} PARENT_SCOPE)
  set(${name}_IID ${iid} PARENT_SCOPE)
  set(${name}_TLB ${tlb} PARENT_SCOPE)
  set(${name}_DIR ${out} PARENT_SCOPE)
endfunction()
