# Small helpers shared by the build files.

# tarnwick_add_subdirectory_if_present(dir): areas are added as they appear in the tree.
function(tarnwick_add_subdirectory_if_present dir)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endfunction()
