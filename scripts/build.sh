#!/bin/sh
# Configures and builds one build tree:
#   scripts/build.sh [normal|sanitize|platform|target|sdk|fuzz] [cmake options...]
# "platform" installs the normal build's stand-ins into a staging prefix and
# builds against that prefix the way a target build uses the platform's own
# libraries, broker and client.
# "target" cross-builds the deliverables and the stand-ins for aarch64 with
# musl (scripts/fetch-target-toolchain.sh) and prints their sizes.
# "fuzz" builds only the fuzz targets of tests/fuzz, with clang-14, into
# build-fuzz; scripts/fuzz.sh runs them.
# "sdk" stages an SDK from the target build's stand-ins and runs the
# README's SDK commands against it, as a firmware engineer would: build-sdk,
# installed into build-sdk/image.
set -eu
cd "$(dirname "$0")/.."
kind=${1:-normal}
[ $# -gt 0 ] && shift
toolchain=$PWD/cmake/aarch64-linux-musl.cmake
case "$kind" in
  normal)   dir=build;      flags="-DCMAKE_BUILD_TYPE=RelWithDebInfo" ;;
  sanitize) dir=build-asan; flags="-DCMAKE_BUILD_TYPE=Debug -DAPSUITE_SANITIZE=ON" ;;
  platform) dir=build-platform
            stage=$PWD/build/platform-stage
            rm -rf "$stage"
            cmake --install build --prefix "$stage" >/dev/null
            flags="-DCMAKE_BUILD_TYPE=RelWithDebInfo -DAPSUITE_PLATFORM=SYSTEM -DCMAKE_PREFIX_PATH=$stage" ;;
  target)   dir=build-target
            scripts/fetch-target-toolchain.sh
            [ -x scripts/fetch-target-libgpiod.sh ] && scripts/fetch-target-libgpiod.sh
            flags="-DCMAKE_TOOLCHAIN_FILE=$toolchain -DAPSUITE_PLATFORM=HOSTKIT" ;;
  sdk)      exec scripts/sdk-check.sh "$@" ;;
  fuzz)     dir=build-fuzz; only="--target fuzz_targets"
            flags="-DCMAKE_BUILD_TYPE=RelWithDebInfo -DAPSUITE_FUZZ=ON -DAPSUITE_PLATFORM=HOSTKIT
                   -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14" ;;
  *) echo "usage: scripts/build.sh [normal|sanitize|platform|target|sdk|fuzz] [cmake options...]" >&2; exit 2 ;;
esac
# shellcheck disable=SC2086
cmake -S . -B "$dir" $flags "$@" >/dev/null
# shellcheck disable=SC2086
cmake --build "$dir" -j "$(nproc)" ${only:-}
[ "$kind" = target ] && scripts/size-report.sh "$dir"
exit 0
