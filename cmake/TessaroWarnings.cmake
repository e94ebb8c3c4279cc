# Every target of the project builds with the same strict warnings.
function(tessaro_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
