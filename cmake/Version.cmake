# The version of every binary and of the package comes from
# project(Velmora VERSION ...) in CMakeLists.txt, and nowhere else. The
# resource scripts include the generated VelmoraVersion.h; windres reports no
# header dependencies, so each script lists it as an object dependency:
#   set_source_files_properties(x.rc PROPERTIES OBJECT_DEPENDS ${VELMORA_VERSION_HEADER})
if(PROJECT_VERSION_TWEAK STREQUAL "")
  set(VELMORA_VERSION_TWEAK 0)
else()
  set(VELMORA_VERSION_TWEAK ${PROJECT_VERSION_TWEAK})
endif()
set(VELMORA_VERSION_HEADER ${VELMORA_GENERATED_DIR}/VelmoraVersion.h)
configure_file(${CMAKE_CURRENT_LIST_DIR}/VelmoraVersion.h.in ${VELMORA_VERSION_HEADER} @ONLY)
