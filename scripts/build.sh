#!/bin/sh
# Configures and builds one build tree:
#   scripts/build.sh [normal|sanitize|target|gcc|sdk|fuzz] [cmake options...]
# Each build links the platform's libraries built for it
# (scripts/build-platform.sh): "sanitize" and "fuzz" ones with the same
# sanitizers.
# "target" cross-builds the deliverables for aarch64 with musl
# (scripts/fetch-target-toolchain.sh), against the platform, json-c and
# libgpiod built into the target's sysroot, and prints their sizes.
# "gcc" cross-builds the deliverables and their test helpers with a second
# compiler, Debian's GCC for aarch64 with glibc, against the platform built
# the same way (scripts/gcc-cross.sh), into build-gcc.
# "fuzz" builds only the fuzz targets of tests/fuzz, with clang-14, into
# build-fuzz; scripts/fuzz.sh runs them.
# "sdk" stages an SDK from the target build's sysroot and runs the
# README's SDK commands against it, as a firmware engineer would: build-sdk,
# installed into build-sdk/image.
set -eu
# A relative APSUITE_PLATFORM_SOURCES is the caller's (scripts/fetch-platform.sh).
[ -z "${APSUITE_PLATFORM_SOURCES:-}" ] || APSUITE_PLATFORM_SOURCES=$(cd "$APSUITE_PLATFORM_SOURCES" && pwd)
cd "$(dirname "$0")/.."
kind=${1:-normal}
[ $# -gt 0 ] && shift
toolchain=$PWD/cmake/aarch64-linux-musl.cmake
case "$kind" in
  normal)   dir=build;      flags="-DCMAKE_BUILD_TYPE=RelWithDebInfo"
            scripts/fetch-libgpiod.sh
            scripts/build-platform.sh host ;;
  sanitize) dir=build-asan; flags="-DCMAKE_BUILD_TYPE=Debug -DAPSUITE_SANITIZE=ON
                                   -DAPSUITE_PLATFORM_PREFIX=$PWD/deps/platform-asan"
            scripts/fetch-libgpiod.sh
            scripts/build-platform.sh sanitize ;;
  target)   dir=build-target
            scripts/fetch-target-libgpiod.sh
            scripts/build-platform.sh aarch64-musl
            flags="-DCMAKE_TOOLCHAIN_FILE=$toolchain" ;;
  gcc)      dir=build-gcc
            scripts/build-platform.sh aarch64-gnu
            . scripts/gcc-cross.sh
            flags="$gcc_cross_options -DCMAKE_BUILD_TYPE=MinSizeRel -DAPSUITE_TEST_HELPERS=ON" ;;
  sdk)      exec scripts/sdk-check.sh "$@" ;;
  fuzz)     dir=build-fuzz; only="--target fuzz_targets"
            flags="-DCMAKE_BUILD_TYPE=RelWithDebInfo -DAPSUITE_FUZZ=ON
                   -DAPSUITE_PLATFORM_PREFIX=$PWD/deps/platform-fuzz
                   -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14"
            scripts/build-platform.sh fuzz ;;
  *) echo "usage: scripts/build.sh [normal|sanitize|target|gcc|sdk|fuzz] [cmake options...]" >&2; exit 2 ;;
esac
# The suite's builds treat warnings as errors; a user's build does not.
# shellcheck disable=SC2086
cmake -S . -B "$dir" --no-warn-unused-cli -DAPSUITE_WERROR=ON $flags "$@" >/dev/null
# shellcheck disable=SC2086
cmake --build "$dir" -j "$(nproc)" ${only:-}
[ "$kind" = target ] && scripts/size-report.sh "$dir"
exit 0
