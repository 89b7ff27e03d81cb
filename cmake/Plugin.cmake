# velmora_add_plugin(NAME SOURCES...)
# A plug-in is a MODULE library with hidden visibility: only the two entry points that
# carry an explicit default visibility are exported, so each library keeps its own
# copy of the framework with its own singletons, log and factories.
function(velmora_add_plugin name)
  add_library(${name} MODULE ${ARGN})
  set_target_properties(${name} PROPERTIES
    PREFIX "lib"
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LIBRARY_OUTPUT_DIRECTORY ${VELMORA_PLUGIN_DIR})
  target_link_libraries(${name} PRIVATE framework)
  # Keep the static framework's symbols out of the dynamic symbol table.
  target_link_options(${name} PRIVATE -Wl,--exclude-libs,ALL -Wl,--no-undefined)
endfunction()
