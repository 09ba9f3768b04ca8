# Warnings are on and fatal for every target of ours (never for third-party code).
function(nimbrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wshadow -Wformat=2)
endfunction()


# Adds every folder below `parent` that has a CMakeLists.txt, in name order, so that
# a module's tests, peers or benchmarks join the build by being there.
function(nimbrel_add_child_folders parent)
  file(GLOB children LIST_DIRECTORIES true ${parent}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
