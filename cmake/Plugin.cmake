# velmora_add_plugin(NAME SOURCES...)
# A plug-in is a MODULE library with hidden visibility: only the two entry points that
# carry an explicit default visibility are exported, so each library keeps its own
# copy of the framework with its own singletons, log and factories.
# Test-only plug-ins may export more: velmora_add_plugin(NAME EXPORT_ALL sources...).
function(velmora_add_plugin name)
  cmake_parse_arguments(ARG "EXPORT_ALL" "" "" ${ARGN})
  add_library(${name} MODULE ${ARG_UNPARSED_ARGUMENTS})
  set_target_properties(${name} PROPERTIES
    PREFIX "lib"
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LIBRARY_OUTPUT_DIRECTORY ${VELMORA_PLUGIN_DIR})
  target_link_libraries(${name} PRIVATE framework)
  # Keep the static framework's symbols out of the dynamic symbol table.
  target_link_options(${name} PRIVATE -Wl,--exclude-libs,ALL -Wl,--no-undefined)
  if(NOT ARG_EXPORT_ALL)
    # Also keeps the standard library's vague-linkage symbols (type information of
    # templates) out of the dynamic symbol table.
    target_link_options(${name} PRIVATE -Wl,--version-script=${CMAKE_SOURCE_DIR}/cmake/plugin-exports.map)
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/plugin-exports.map)
  endif()
endfunction()
