# Every target of the project builds with the same strict warnings. -Wconversion makes an
# implicit narrowing an error: a narrowing that is meant is spelled out with a static_cast.
function(tessaro_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wconversion -Werror)
endfunction()
