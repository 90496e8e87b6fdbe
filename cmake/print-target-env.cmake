# Prints the target toolchain of cmake/aarch64-linux-musl.cmake as
# NAME=value lines on standard output, so that builds outside CMake (an
# autotools configure) use the very same compiler, sysroot and flags.
# scripts/target-env.sh reads them as plain text:
#
#   cmake -P cmake/print-target-env.cmake
#   -> -- CC=..., AR, RANLIB, STRIP, CFLAGS, LDFLAGS, TARGET_TRIPLE,
#      TARGET_SYSROOT, TARGET_EMULATOR
#
# Each line carries CMake's "-- " mark of a status message; warnings and
# errors go to standard error and never mix with them.

include(${CMAKE_CURRENT_LIST_DIR}/aarch64-linux-musl.cmake)

list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " _emulator)
foreach(assignment IN ITEMS
    "CC=${CMAKE_C_COMPILER} --target=${CMAKE_C_COMPILER_TARGET} --sysroot=${CMAKE_SYSROOT}"
    "AR=${CMAKE_AR}"
    "RANLIB=${CMAKE_RANLIB}"
    "STRIP=${CMAKE_STRIP}"
    "CFLAGS=${CMAKE_C_FLAGS_INIT}"
    "LDFLAGS=${CMAKE_SHARED_LINKER_FLAGS_INIT}"
    "TARGET_TRIPLE=${CMAKE_C_COMPILER_TARGET}"
    "TARGET_SYSROOT=${CMAKE_SYSROOT}"
    "TARGET_EMULATOR=${_emulator}")
  message(STATUS "${assignment}")
endforeach()
