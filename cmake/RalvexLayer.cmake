# ralvex_add_layer(NAME <target> FOLDER <folder> GLOBS <patterns...> [DEPS <targets...>])
# A layer is one library built from the sources its folder holds; a layer with no sources yet is an
# interface target so that the layers above can already name it.
#
# Includes are written from the source root ("link/frame.h"), but a layer does not see the root: it
# sees an include view of its own, a folder in the build tree holding one link per source folder it
# may reach (its own and those of the layers it depends on, all the way down). A header included
# from any other folder is not found, so the build itself keeps the layers' order.
# tests/layering/ checks the same order against docs/architecture.md.
function(ralvex_add_layer)
  cmake_parse_arguments(ARG "" "NAME;FOLDER" "GLOBS;DEPS;EXCLUDE" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${ARG_GLOBS})
  foreach(_ex IN LISTS ARG_EXCLUDE)
    list(FILTER _sources EXCLUDE REGEX "${_ex}")
  endforeach()
  if(_sources)
    add_library(${ARG_NAME} STATIC ${_sources})
    target_link_libraries(${ARG_NAME} PUBLIC ${ARG_DEPS})
  else()
    add_library(${ARG_NAME} INTERFACE)
    target_link_libraries(${ARG_NAME} INTERFACE ${ARG_DEPS})
  endif()
  ralvex_layer_view(${ARG_NAME} ${ARG_FOLDER} ${ARG_DEPS})
endfunction()

# ralvex_layer_view(<target> <folder> <deps...>): records the folders <target> may include from
# (its own and every dependency layer's) and points the target at a view that holds just those.
function(ralvex_layer_view target folder)
  set(_folders ${folder})
  foreach(_dep IN LISTS ARGN)
    get_property(_dep_folders GLOBAL PROPERTY RALVEX_LAYER_FOLDERS_${_dep})
    list(APPEND _folders ${_dep_folders})
  endforeach()
  list(REMOVE_DUPLICATES _folders)
  set_property(GLOBAL PROPERTY RALVEX_LAYER_FOLDERS_${target} ${_folders})
  set_property(GLOBAL APPEND PROPERTY RALVEX_LAYERS ${target})

  set(_view ${CMAKE_BINARY_DIR}/include-views/${target})
  file(REMOVE_RECURSE ${_view})
  file(MAKE_DIRECTORY ${_view})
  foreach(_f IN LISTS _folders)
    # A folder inside another folder of the view (lab/serve in lab) comes with that one's link.
    set(_inside FALSE)
    foreach(_g IN LISTS _folders)
      string(FIND "${_f}" "${_g}/" _at)
      if(_at EQUAL 0)
        set(_inside TRUE)
      endif()
    endforeach()
    if(_inside)
      continue()
    endif()
    get_filename_component(_parent ${_view}/${_f} DIRECTORY)
    file(MAKE_DIRECTORY ${_parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${_f} ${_view}/${_f} SYMBOLIC)
  endforeach()
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL INTERFACE_LIBRARY)
    target_include_directories(${target} INTERFACE ${_view})
  else()
    target_include_directories(${target} PRIVATE ${_view})
  endif()
endfunction()

# ralvex_write_layer_views(<file>): one line per layer, "<target>: <folders...>", for the layering
# test to compare with the documented order.
function(ralvex_write_layer_views file)
  get_property(_layers GLOBAL PROPERTY RALVEX_LAYERS)
  set(_text "")
  foreach(_l IN LISTS _layers)
    get_property(_folders GLOBAL PROPERTY RALVEX_LAYER_FOLDERS_${_l})
    list(JOIN _folders " " _joined)
    string(APPEND _text "${_l}: ${_joined}\n")
  endforeach()
  file(WRITE ${file} "${_text}")
endfunction()
