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

# Reads a value of NIMBREL_LIST_KEYS: empty (lists are not signed), or one or two
# minisign public key lines (minisign.pub's second line) separated by a comma, blanks
# around them allowed. Sets `keys` to the key lines as a list, or `error` to what is
# wrong with the value.
function(nimbrel_parse_list_keys value keys error)
  set(${keys} "" PARENT_SCOPE)
  set(${error} "" PARENT_SCOPE)
  if(value STREQUAL "")
    return()
  elseif(value MATCHES ";")
    set(${error} "NIMBREL_LIST_KEYS is '${value}': separate its keys with a comma" PARENT_SCOPE)
    return()
  endif()
  string(REPLACE "," ";" items "${value}")
  list(LENGTH items count)
  if(count GREATER 2)
    set(${error} "NIMBREL_LIST_KEYS holds ${count} keys: it takes one, or two while a maker rolls over to a new key"
        PARENT_SCOPE)
    return()
  endif()
  set(parsed "")
  set(index 0)
  foreach(item IN LISTS items)
    math(EXPR index "${index} + 1")
    string(STRIP "${item}" key)
    string(LENGTH "${key}" length)
    # base64 of "Ed", the 8-byte key id and the 32-byte key: "RW", then Q to T (the
    # rest of "d" and the id's first two bits), 56 characters in all.
    if(NOT length EQUAL 56 OR NOT key MATCHES "^RW[QRST][A-Za-z0-9+/]+$")
      string(CONCAT message "NIMBREL_LIST_KEYS: key ${index} of ${count} is '${key}', not a minisign public key "
             "(the second line of a minisign.pub: 56 base64 characters beginning with RW)")
      set(${error} "${message}" PARENT_SCOPE)
      return()
    endif()
    list(APPEND parsed "${key}")
  endforeach()
  set(${keys} "${parsed}" PARENT_SCOPE)
endfunction()
