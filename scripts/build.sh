#!/bin/sh
# Configures and builds one build tree: scripts/build.sh [normal|sanitize] [cmake options...]
set -eu
cd "$(dirname "$0")/.."
kind=${1:-normal}
[ $# -gt 0 ] && shift
case "$kind" in
  normal)   dir=build;      flags="-DCMAKE_BUILD_TYPE=RelWithDebInfo" ;;
  sanitize) dir=build-asan; flags="-DCMAKE_BUILD_TYPE=Debug -DAPSUITE_SANITIZE=ON" ;;
  *) echo "usage: scripts/build.sh [normal|sanitize] [cmake options...]" >&2; exit 2 ;;
esac
# shellcheck disable=SC2086
cmake -S . -B "$dir" $flags "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
