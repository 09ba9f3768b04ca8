# NIMBREL_LIST_KEYS as the configuration reads it (cmake -P): each value gives the
# keys or an error naming the fault.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../../cmake/NimbrelHelpers.cmake)
set(a RWSyBduU5qrTB1/Fu3ERX7mtiwRHZFz2pZrMsezaVJ/996vXyTNOdApJ)
set(b RWS3OQlh15SZYcj0FdXaMYey3xYLm0nZqSy/CwF/DQulEc35A61CFW8Z)
# value | the keys (comma-separated), or a piece of the error
set(cases
  "|"
  "${a}|${a}"
  " ${a} , ${b}|${a},${b}"
  "${a},${b},${a}|holds 3 keys"
  "${a},|key 2 of 2 is ''"
  "${a}x|key 1 of 1 is '${a}x'"
  "RWS3OQlh15SZYcj0FdXaMYey3xYLm0nZqSy/CwF/DQulEc35A61CFW8|key 1 of 1"
  "RUSyBduU5qrTB1/Fu3ERX7mtiwRHZFz2pZrMsezaVJ/996vXyTNOdApJ|key 1 of 1"  # "ED", a signature's
  "RWSyBduU5qrTB1/Fu3ERX7mtiwRHZFz2pZrMsezaVJ/996vXyTNOdAp=|key 1 of 1"
  "RWAyBduU5qrTB1/Fu3ERX7mtiwRHZFz2pZrMsezaVJ/996vXyTNOdApJ|key 1 of 1"  # "E`", not "Ed"
  "${b} ${a}|key 1 of 1"
  "${a}\\;${b}|separate its keys with a comma")
foreach(case IN LISTS cases)
  string(REPLACE "\\;" ";" case "${case}")
  string(FIND "${case}" "|" bar REVERSE)
  string(SUBSTRING "${case}" 0 ${bar} value)
  math(EXPR bar "${bar} + 1")
  string(SUBSTRING "${case}" ${bar} -1 expected)
  nimbrel_parse_list_keys("${value}" keys error)
  string(REPLACE ";" "," keys "${keys}")
  if(error)
    string(FIND "${error}" "${expected}" at)
    if(at EQUAL -1 OR expected STREQUAL "")
      message(SEND_ERROR "'${value}': error '${error}', expected '${expected}'")
    endif()
  elseif(NOT "${keys}" STREQUAL "${expected}")
    message(SEND_ERROR "'${value}': keys '${keys}', expected '${expected}'")
  endif()
endforeach()
