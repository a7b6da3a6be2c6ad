# Include folders by layer. Sources name headers from the top of the tree
# ("common/Error.h", "app/framework/Form.h"); a layer's folder holds links to
# its own source folders only, so a library sees its own headers and, through
# what it links, those of the layers below it, and a header of a layer above
# is not found: the build fails where the layering would break.
#
# pwg_layer(LAYER FOLDER...) makes build/layers/LAYER with a link for each
# folder, and sets PWG_LAYER_<LAYER> to it for target_include_directories.
function(pwg_layer layer)
  set(root ${CMAKE_BINARY_DIR}/layers/${layer})
  foreach(folder IN LISTS ARGN)
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  set(PWG_LAYER_${layer} ${root} PARENT_SCOPE)
endfunction()
