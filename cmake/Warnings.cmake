# Our own code builds warning-free; third-party headers are included as
# system headers by their imported targets, so -Werror does not reach them.
function(tvs_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()
