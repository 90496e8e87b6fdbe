#!/bin/sh
# Builds the platform's libraries from their sources (scripts/fetch-platform.sh)
# for one kind of build, and installs them where that build finds them:
#
#   scripts/build-platform.sh host       deps/platform       the normal build and the demo
#   scripts/build-platform.sh sanitize   deps/platform-asan  AddressSanitizer and UBSan, g++
#   scripts/build-platform.sh fuzz       deps/platform-fuzz  the same with clang-14 and
#                                                            fuzzing coverage
#
# Each holds libubox with libblobmsg_json, libubus with ubusd and the ubus
# client, and libuci with the uci client, at the shared-object versions of
# scripts/platform.pins; json-c is Debian's. The libraries and programs find
# one another through their run path. A stamp records the pins and flags:
# when they are unchanged, nothing is done.
set -eu
cd "$(dirname "$0")/.."
top=$PWD
kind=${1:-host}

# Misaligned reads go through the recoverable handler, so that the few the
# platform itself makes can be let through by name (tests/platform/ubsan.supp);
# the tests run with UBSAN_OPTIONS=halt_on_error=1, so any other still stops.
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fsanitize-recover=alignment"
sanitizers="$sanitizers -fno-omit-frame-pointer"
case "$kind" in
  host)     prefix=$top/deps/platform;      cc=gcc;      cflags= ;;
  sanitize) prefix=$top/deps/platform-asan; cc=gcc;      cflags=$sanitizers ;;
  fuzz)     prefix=$top/deps/platform-fuzz; cc=clang-14
            cflags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" ;;
  *) echo "usage: scripts/build-platform.sh [host|sanitize|fuzz]" >&2; exit 2 ;;
esac

scripts/fetch-platform.sh
stamp="$(cat scripts/platform.pins) $kind $cc $cflags"
[ "$(cat "$prefix/.stamp" 2>/dev/null)" = "$stamp" ] && exit 0

rm -rf "$prefix"
work=$top/deps/platform-build/$kind
rm -rf "$work"
grep -v '^#' scripts/platform.pins | while read -r name _commit abiversion _url; do
  [ -n "$name" ] || continue
  abi=
  [ "$abiversion" = - ] || abi=-DABIVERSION=$abiversion
  # shellcheck disable=SC2086
  cmake -S deps/platform-src/"$name" -B "$work/$name" -Wno-dev -Wno-deprecated --no-warn-unused-cli \
        -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$cflags" \
        -DCMAKE_EXE_LINKER_FLAGS="$cflags" -DCMAKE_SHARED_LINKER_FLAGS="$cflags" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_RPATH="$prefix/lib" \
        -DBUILD_LUA=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTS=OFF $abi >/dev/null
  cmake --build "$work/$name" -j "$(nproc)" >/dev/null
  cmake --install "$work/$name" >/dev/null
done
rm -rf "$work"
echo "$stamp" > "$prefix/.stamp"
echo "build-platform: $kind platform in ${prefix#"$top"/}"
