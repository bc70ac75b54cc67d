# Warnings are errors in everything we write; third-party code is left alone.
function(zk_strict_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wconversion -Wno-sign-conversion -Wformat=2 -Werror)
endfunction()

# Test code is held to the same bar, less the numeric conversion noise of assertions.
function(zk_test_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
