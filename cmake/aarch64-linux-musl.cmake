# Toolchain file for the target, aarch64 with musl, on Debian 12's clang-14
# and lld-14 with the sysroot that scripts/fetch-target-toolchain.sh
# unpacks. Like an SDK's toolchain file, it searches libraries and headers
# only under the sysroot; CMAKE_PREFIX_PATH names folders inside it.
#
#   cmake -S . -B build-target -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-musl.cmake
#
# APSUITE_TARGET_TOOLCHAIN (cache or environment) points at another copy.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

if(NOT APSUITE_TARGET_TOOLCHAIN)
  if(DEFINED ENV{APSUITE_TARGET_TOOLCHAIN})
    set(APSUITE_TARGET_TOOLCHAIN $ENV{APSUITE_TARGET_TOOLCHAIN})
  else()
    get_filename_component(APSUITE_TARGET_TOOLCHAIN ${CMAKE_CURRENT_LIST_DIR}/../deps/aarch64-musl ABSOLUTE)
  endif()
endif()
set(APSUITE_TARGET_TOOLCHAIN ${APSUITE_TARGET_TOOLCHAIN} CACHE PATH "Unpacked aarch64-musl toolchain")
# try_compile projects read this file again: hand them the same folder.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES APSUITE_TARGET_TOOLCHAIN)

set(_triple aarch64-linux-musl)
set(_sysroot ${APSUITE_TARGET_TOOLCHAIN}/sysroot)

set(CMAKE_SYSROOT ${_sysroot})
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET ${_triple})
set(CMAKE_CXX_COMPILER_TARGET ${_triple})
set(CMAKE_AR llvm-ar-14)
set(CMAKE_RANLIB llvm-ranlib-14)
set(CMAKE_STRIP llvm-strip-14)

# Debian lays musl out under multiarch folders, which clang's driver does
# not look in for this triple: name them, and use clang's own headers with
# the target's compiler-rt beside them. The shared libc.so comes first, or
# -lc would take the static libc.a that stands beside the start files.
set(_flags "-resource-dir=${APSUITE_TARGET_TOOLCHAIN}/resource-dir -nostdinc \
-isystem ${APSUITE_TARGET_TOOLCHAIN}/resource-dir/include \
-isystem ${_sysroot}/usr/include/${_triple} \
-idirafter ${_sysroot}/usr/include -idirafter ${_sysroot}/usr/include/aarch64-linux-gnu")
set(CMAKE_C_FLAGS_INIT "${_flags}")
# No C++ runtime on the device: what is C++ here must do without one.
set(CMAKE_CXX_FLAGS_INIT "${_flags} -fno-exceptions -fno-rtti -fno-threadsafe-statics")

set(_link "-fuse-ld=lld --rtlib=compiler-rt --unwindlib=none -nostdlib++ \
-B${_sysroot}/usr/lib/${_triple} -L${_sysroot}/lib/${_triple} -L${_sysroot}/usr/lib/${_triple} \
-Wl,--dynamic-linker=/lib/ld-musl-aarch64.so.1 -Qunused-arguments")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_link}")

set(CMAKE_FIND_ROOT_PATH ${_sysroot})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The emulator the build's own checks and the target suite run binaries with.
set(CMAKE_CROSSCOMPILING_EMULATOR ${APSUITE_TARGET_TOOLCHAIN}/bin/qemu-aarch64-static -L ${_sysroot})
