#!/bin/sh
# Configures and builds one build tree:
#   scripts/build.sh [normal|sanitize|target|sdk|fuzz] [cmake options...]
# Each build links the platform's libraries built for it
# (scripts/build-platform.sh): "sanitize" and "fuzz" ones with the same
# sanitizers.
# "target" cross-builds the deliverables for aarch64 with musl
# (scripts/fetch-target-toolchain.sh), against the platform, json-c and
# libgpiod built into the target's sysroot, and prints their sizes.
# "fuzz" builds only the fuzz targets of tests/fuzz, with clang-14, into
# build-fuzz; scripts/fuzz.sh runs them.
# "sdk" stages an SDK from the target build's sysroot and runs the
# README's SDK commands against it, as a firmware engineer would: build-sdk,
# installed into build-sdk/image.
set -eu
cd "$(dirname "$0")/.."
kind=${1:-normal}
[ $# -gt 0 ] && shift
toolchain=$PWD/cmake/aarch64-linux-musl.cmake
case "$kind" in
  normal)   dir=build;      flags="-DCMAKE_BUILD_TYPE=RelWithDebInfo"
            scripts/build-platform.sh host ;;
  sanitize) dir=build-asan; flags="-DCMAKE_BUILD_TYPE=Debug -DAPSUITE_SANITIZE=ON
                                   -DAPSUITE_PLATFORM_PREFIX=$PWD/deps/platform-asan"
            scripts/build-platform.sh sanitize ;;
  target)   dir=build-target
            scripts/fetch-target-libgpiod.sh
            scripts/build-platform.sh aarch64-musl
            flags="-DCMAKE_TOOLCHAIN_FILE=$toolchain" ;;
  sdk)      exec scripts/sdk-check.sh "$@" ;;
  fuzz)     dir=build-fuzz; only="--target fuzz_targets"
            flags="-DCMAKE_BUILD_TYPE=RelWithDebInfo -DAPSUITE_FUZZ=ON
                   -DAPSUITE_PLATFORM_PREFIX=$PWD/deps/platform-fuzz
                   -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14"
            scripts/build-platform.sh fuzz ;;
  *) echo "usage: scripts/build.sh [normal|sanitize|target|sdk|fuzz] [cmake options...]" >&2; exit 2 ;;
esac
# shellcheck disable=SC2086
cmake -S . -B "$dir" $flags "$@" >/dev/null
# shellcheck disable=SC2086
cmake --build "$dir" -j "$(nproc)" ${only:-}
[ "$kind" = target ] && scripts/size-report.sh "$dir"
exit 0
