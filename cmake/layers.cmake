# One static library per layer. e2d_layer(NAME SOURCES files... [DEPS libs...])
# builds the library from the files of the calling folder and records them,
# with the layers it may use, for the include check below: a file may
# include headers of its own layer and of the layers it depends on
# (directly or through them), nothing else.
function(e2d_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 L "" "" "SOURCES;DEPS")
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${L_DEPS})
  set(files "")
  foreach(source IN LISTS L_SOURCES)
    get_filename_component(absolute ${source} ABSOLUTE)
    file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR}/src ${absolute})
    list(APPEND files ${relative})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY E2D_LAYERS ${name})
  set_property(GLOBAL PROPERTY E2D_LAYER_FILES_${name} "${files}")
  set_property(GLOBAL PROPERTY E2D_LAYER_DEPS_${name} "${L_DEPS}")
endfunction()

# The layers name reaches: itself and, through its DEPS, every layer below.
function(e2d_layer_closure name out)
  set(seen ${name})
  set(queue ${name})
  while(queue)
    list(POP_FRONT queue current)
    get_property(deps GLOBAL PROPERTY E2D_LAYER_DEPS_${current})
    foreach(dep IN LISTS deps)
      get_property(is_layer GLOBAL PROPERTY E2D_LAYER_FILES_${dep} SET)
      if(is_layer AND NOT dep IN_LIST seen)
        list(APPEND seen ${dep})
        list(APPEND queue ${dep})
      endif()
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# Writes the manifest of every layer and adds a target, part of every
# build, that fails when a file includes a header of a layer it may not
# use (or a project header no layer owns).
function(e2d_check_layers)
  get_property(layers GLOBAL PROPERTY E2D_LAYERS)
  set(manifest "")
  foreach(layer IN LISTS layers)
    get_property(files GLOBAL PROPERTY E2D_LAYER_FILES_${layer})
    e2d_layer_closure(${layer} reach)
    string(REPLACE ";" "," files_text "${files}")
    string(REPLACE ";" "," reach_text "${reach}")
    string(APPEND manifest "${layer}|${files_text}|${reach_text}\n")
  endforeach()
  set(manifest_file ${PROJECT_BINARY_DIR}/e2d_layers.txt)
  file(WRITE ${manifest_file} "${manifest}")
  add_custom_target(e2d_check_layers ALL
    COMMAND ${CMAKE_COMMAND} -DMANIFEST=${manifest_file} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}/src
            -P ${PROJECT_SOURCE_DIR}/cmake/check_layers.cmake
    COMMENT "Checking that every include keeps to its layer"
    VERBATIM)
  foreach(layer IN LISTS layers)
    add_dependencies(${layer} e2d_check_layers)
  endforeach()
endfunction()
