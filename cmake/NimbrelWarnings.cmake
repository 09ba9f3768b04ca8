# Warnings are on and fatal for every target of ours (never for third-party code).
function(nimbrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wshadow -Wformat=2)
endfunction()

