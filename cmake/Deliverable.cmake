# Code that ships on the device: a C-like subset of C++ that needs no C++
# runtime. Exceptions, RTTI and thread-safe statics are off, and the link
# is done by the C driver, so any use of libstdc++ fails to link here
# rather than on the target.

set(APSUITE_WARNINGS -Wall -Wextra -Werror)

# With C++ sources in a target, CMake hands the C driver C++'s implicit
# libraries (libstdc++, libm) as well. Drop them: targets linked by g++ get
# them from the driver anyway, and the C-subset ones must do without.
set(CMAKE_CXX_IMPLICIT_LINK_LIBRARIES "")

function(apsuite_c_subset target)
  target_compile_options(${target} PRIVATE ${APSUITE_WARNINGS}
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -fno-threadsafe-statics>)
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C)
endfunction()

# Kit executables, tools and tests: full C++, same warnings.
function(apsuite_host_code target)
  target_compile_options(${target} PRIVATE ${APSUITE_WARNINGS})
endfunction()
