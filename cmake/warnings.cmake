# Warnings are errors for every target of the project's own (not for GoogleTest or zlib).
function(zelkupd_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wnon-virtual-dtor -Wold-style-cast
    -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough -Werror)
endfunction()
