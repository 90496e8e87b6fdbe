#!/bin/sh
# Configures and builds one build tree:
#   scripts/build.sh [normal|sanitize|platform] [cmake options...]
# "platform" installs the normal build's stand-ins into a staging prefix and
# builds against that prefix the way a target build uses the platform's own
# libraries, broker and client.
set -eu
cd "$(dirname "$0")/.."
kind=${1:-normal}
[ $# -gt 0 ] && shift
case "$kind" in
  normal)   dir=build;      flags="-DCMAKE_BUILD_TYPE=RelWithDebInfo" ;;
  sanitize) dir=build-asan; flags="-DCMAKE_BUILD_TYPE=Debug -DAPSUITE_SANITIZE=ON" ;;
  platform) dir=build-platform
            stage=$PWD/build/platform-stage
            rm -rf "$stage"
            cmake --install build --prefix "$stage" >/dev/null
            flags="-DCMAKE_BUILD_TYPE=RelWithDebInfo -DAPSUITE_PLATFORM=SYSTEM -DCMAKE_PREFIX_PATH=$stage" ;;
  *) echo "usage: scripts/build.sh [normal|sanitize|platform] [cmake options...]" >&2; exit 2 ;;
esac
# shellcheck disable=SC2086
cmake -S . -B "$dir" $flags "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
