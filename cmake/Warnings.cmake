# Our own code builds warning-free; third-party headers are included as
# system headers by their imported targets, so -Werror does not reach them.
function(tvs_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  # GCC 12's optimiser reports -Wrestrict and -Warray-bounds inside the
  # standard library's string and vector code for correct callers ("P" +
  # std::to_string(k), an insert after a braced initialiser). In optimised
  # builds they are still shown but do not stop the build.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE
      $<$<NOT:$<CONFIG:Debug>>:-Wno-error=restrict -Wno-error=array-bounds>)
  endif()
endfunction()
