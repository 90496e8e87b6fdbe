# Code that ships on the device: a C-like subset of C++ that needs no C++
# runtime. Exceptions, RTTI and thread-safe statics are off, and the link
# is done by the C driver, so any use of libstdc++ fails to link here
# rather than on the target.

# The suite's builds (scripts/build.sh) turn warnings into errors; a user's
# build, perhaps with another compiler that warns about other things, does
# not by default.
option(APSUITE_WERROR "Treat compiler warnings as errors" OFF)
set(APSUITE_WARNINGS -Wall -Wextra $<$<BOOL:${APSUITE_WERROR}>:-Werror>)

# With C++ sources in a target, CMake hands the C driver C++'s implicit
# libraries (libstdc++, libm) as well. Drop them: targets linked by g++ get
# them from the driver anyway, and the C-subset ones must do without.
set(CMAKE_CXX_IMPLICIT_LINK_LIBRARIES "")

# The device's flash is small. Code without exceptions needs no unwind
# tables, and section garbage collection drops what a unit carries but the
# program never calls; a size build goes for the smallest code: -Oz where
# the compiler takes it (clang, GCC 12 and later), -Os elsewhere.
include(CheckCXXCompilerFlag)
check_cxx_compiler_flag(-Oz APSUITE_COMPILER_TAKES_OZ)
if(APSUITE_COMPILER_TAKES_OZ)
  set(_smallest -Oz)
else()
  set(_smallest -Os)
endif()
set(APSUITE_SIZE_OPTIONS -ffunction-sections -fdata-sections
    -fno-asynchronous-unwind-tables -fno-unwind-tables $<$<CONFIG:MinSizeRel>:${_smallest}>)
set(APSUITE_SIZE_LINK_OPTIONS -Wl,--gc-sections -Wl,--hash-style=gnu -Wl,--as-needed)

function(apsuite_c_subset target)
  target_compile_options(${target} PRIVATE ${APSUITE_WARNINGS} ${APSUITE_SIZE_OPTIONS}
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -fno-threadsafe-statics>)
  target_link_options(${target} PRIVATE ${APSUITE_SIZE_LINK_OPTIONS})
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C)
endfunction()

# Kit executables, tools and tests: full C++, same warnings.
function(apsuite_host_code target)
  target_compile_options(${target} PRIVATE ${APSUITE_WARNINGS})
endfunction()
