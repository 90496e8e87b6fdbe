#!/bin/sh
# Installs what building and testing need, on a fresh Debian 12 machine, as
# root. Safe to run again: it does nothing when everything is in place.
set -eu
# A relative APSUITE_PLATFORM_SOURCES is the caller's (scripts/fetch-platform.sh).
[ -z "${APSUITE_PLATFORM_SOURCES:-}" ] || APSUITE_PLATFORM_SOURCES=$(cd "$APSUITE_PLATFORM_SOURCES" && pwd)
cd "$(dirname "$0")/.."

packages="build-essential cmake pkg-config binutils util-linux mount git python3 python3-pytest
          libjson-c-dev
          libgtest-dev libgmock-dev nlohmann-json3-dev
          qemu-system-arm xz-utils cpio pax-utils
          clang-14 lld-14 libclang-rt-14-dev llvm-14
          gcc-aarch64-linux-gnu g++-aarch64-linux-gnu"

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "setup: installing$missing"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
fi

scripts/fetch-libgpiod.sh
# The platform's libraries, broker and clients, from their sources.
scripts/build-platform.sh host
