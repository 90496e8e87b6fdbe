# Sourced, from the top of the tree: the second compiler's cross build as
# plain CMake options, with no toolchain file. Debian's GCC for aarch64 with
# glibc (gcc-aarch64-linux-gnu, g++-aarch64-linux-gnu) uses its own C
# library; libraries and headers are searched only in the sysroot of
# scripts/fetch-gcc-sysroot.sh, and qemu-user runs what it builds.
#
#   cmake $gcc_cross_options ...
gcc_sysroot=$PWD/deps/aarch64-gnu/sysroot
# GNU ld finds what a shared library needs (libubus needs libubox) only
# along -rpath-link.
gcc_cross_options="-DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=aarch64
  -DCMAKE_C_COMPILER=aarch64-linux-gnu-gcc -DCMAKE_CXX_COMPILER=aarch64-linux-gnu-g++
  -DCMAKE_LIBRARY_ARCHITECTURE=aarch64-linux-gnu
  -DCMAKE_FIND_ROOT_PATH=$gcc_sysroot -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER
  -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY
  -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY
  -DCMAKE_EXE_LINKER_FLAGS=-Wl,-rpath-link,$gcc_sysroot/usr/lib:$gcc_sysroot/usr/lib/aarch64-linux-gnu
  -DCMAKE_SHARED_LINKER_FLAGS=-Wl,-rpath-link,$gcc_sysroot/usr/lib:$gcc_sysroot/usr/lib/aarch64-linux-gnu
  -DCMAKE_CROSSCOMPILING_EMULATOR=$PWD/deps/aarch64-gnu/bin/qemu-aarch64-static;-L;$gcc_sysroot"
