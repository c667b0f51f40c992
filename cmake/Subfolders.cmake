# Adds every direct subfolder of the current folder that has a CMakeLists.txt, in name order.
# Areas that several pieces of work grow at once (tools, benchmarks, platform tests) use it.
function(brevon_add_subfolders)
  file(GLOB entries LIST_DIRECTORIES true "${CMAKE_CURRENT_SOURCE_DIR}/*")
  list(SORT entries)
  foreach(entry IN LISTS entries)
    if(IS_DIRECTORY "${entry}" AND EXISTS "${entry}/CMakeLists.txt")
      add_subdirectory("${entry}")
    endif()
  endforeach()
endfunction()
