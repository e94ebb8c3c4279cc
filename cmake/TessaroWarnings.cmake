# Every target of the project builds with the same strict warnings.
function(tessaro_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Werror)
endfunction()

# Implicit narrowing conversions are errors too; a narrowing that is meant is spelled out
# with a static_cast.
function(tessaro_conversion_warnings target)
  target_compile_options(${target} PRIVATE -Wconversion)
endfunction()
