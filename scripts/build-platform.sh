#!/bin/sh
# Builds the platform's libraries from their sources (scripts/fetch-platform.sh)
# for one kind of build, and installs them where that build finds them:
#
#   scripts/build-platform.sh host          deps/platform       the normal build and the demo
#   scripts/build-platform.sh sanitize      deps/platform-asan  AddressSanitizer and UBSan, g++
#   scripts/build-platform.sh fuzz          deps/platform-fuzz  the same with clang-14 and
#                                                               fuzzing coverage
#   scripts/build-platform.sh aarch64-musl  deps/aarch64-musl/sysroot/usr
#                                           the target, with its toolchain file
#                                           (cmake/aarch64-linux-musl.cmake), beside
#                                           its musl, json-c and libgpiod
#   scripts/build-platform.sh aarch64-gnu   deps/aarch64-gnu/sysroot/usr
#                                           the second compiler's build: Debian's
#                                           GCC for aarch64 with glibc
#                                           (scripts/gcc-cross.sh)
#
# Each holds libubox with libblobmsg_json, libubus with ubusd and the ubus
# client, and libuci with the uci client, at the shared-object versions of
# scripts/platform.pins. json-c is Debian's on the build host and for GCC
# (arm64 packages); the musl target's is built from Debian's source
# (scripts/fetch-target-json-c.sh). The build
# host's libraries and programs find one another through their run path;
# the target's carry none and are installed under /usr of the sysroot, as
# on the device. A stamp records the pins, flags and this script's own
# checksum: when they are unchanged, nothing is done.
set -eu
# A relative APSUITE_PLATFORM_SOURCES is the caller's (scripts/fetch-platform.sh).
[ -z "${APSUITE_PLATFORM_SOURCES:-}" ] || APSUITE_PLATFORM_SOURCES=$(cd "$APSUITE_PLATFORM_SOURCES" && pwd)
cd "$(dirname "$0")/.."
top=$PWD
kind=${1:-host}

# Misaligned reads go through the recoverable handler, so that the few the
# platform itself makes can be let through by name (tests/platform/ubsan.supp);
# the tests run with UBSAN_OPTIONS=halt_on_error=1, so any other still stops.
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fsanitize-recover=alignment"
sanitizers="$sanitizers -fno-omit-frame-pointer"
destdir=
case "$kind" in
  host)     prefix=$top/deps/platform;      cc=gcc;      cflags= ;;
  sanitize) prefix=$top/deps/platform-asan; cc=gcc;      cflags=$sanitizers ;;
  fuzz)     prefix=$top/deps/platform-fuzz; cc=clang-14
            cflags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" ;;
  aarch64-musl)
            toolchain=$top/cmake/aarch64-linux-musl.cmake
            destdir=$top/deps/aarch64-musl/sysroot; prefix=/usr
            cc="clang-14 $(cksum < "$toolchain")"; cflags=MinSizeRel ;;
  aarch64-gnu)
            . scripts/gcc-cross.sh
            destdir=$gcc_sysroot; prefix=/usr
            cc="aarch64-linux-gnu-gcc $(aarch64-linux-gnu-gcc -dumpfullversion) $(cksum < scripts/gcc-cross.sh)"
            cflags=MinSizeRel ;;
  *) echo "usage: scripts/build-platform.sh [host|sanitize|fuzz|aarch64-musl|aarch64-gnu]" >&2; exit 2 ;;
esac

scripts/fetch-platform.sh
if [ "$kind" = aarch64-musl ]; then
  scripts/fetch-target-json-c.sh
elif [ "$kind" = aarch64-gnu ]; then
  scripts/fetch-gcc-sysroot.sh
fi
if [ -n "$destdir" ]; then
  stamp_file=$destdir/../platform.stamp
  files=$destdir/../platform.files
else
  stamp_file=$prefix/.stamp
fi
# The build host's programs find their libraries by the absolute path of
# their prefix: a tree that moved builds them again.
stamp="$(cat scripts/platform.pins) $kind $cc $cflags ${destdir:-$prefix} $(cksum < scripts/build-platform.sh)"
[ "$(cat "$stamp_file" 2>/dev/null)" = "$stamp" ] && exit 0

if [ -n "$destdir" ]; then
  # The sysroot holds the C library and more: take away only what an
  # earlier build of the platform installed.
  [ -f "$files" ] && sed "s|^|$destdir|" "$files" | xargs rm -f
  rm -f "$stamp_file" "$files"
  # libubox finds json-c through pkg-config, which must read the sysroot's.
  PKG_CONFIG_LIBDIR=$destdir/usr/lib/pkgconfig:$destdir/usr/lib/aarch64-linux-gnu/pkgconfig
  PKG_CONFIG_LIBDIR=$PKG_CONFIG_LIBDIR:$destdir/usr/share/pkgconfig
  PKG_CONFIG_SYSROOT_DIR=$destdir
  export PKG_CONFIG_LIBDIR PKG_CONFIG_SYSROOT_DIR
  if [ "$kind" = aarch64-musl ]; then
    set -- -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=MinSizeRel
  else
    # shellcheck disable=SC2086
    set -- $gcc_cross_options -DCMAKE_BUILD_TYPE=MinSizeRel
  fi
else
  rm -rf "$prefix"
  set -- -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$cflags" \
         -DCMAKE_EXE_LINKER_FLAGS="$cflags" -DCMAKE_SHARED_LINKER_FLAGS="$cflags" \
         -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_INSTALL_RPATH="$prefix/lib"
fi
work=$top/deps/platform-build/$kind
rm -rf "$work"
grep -v '^#' scripts/platform.pins | while read -r name _commit abiversion _url; do
  [ -n "$name" ] || continue
  abi=
  [ "$abiversion" = - ] || abi=-DABIVERSION=$abiversion
  # shellcheck disable=SC2086
  cmake -S deps/platform-src/"$name" -B "$work/$name" -Wno-dev -Wno-deprecated --no-warn-unused-cli \
        "$@" -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
        -DBUILD_LUA=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTS=OFF $abi >/dev/null
  cmake --build "$work/$name" -j "$(nproc)" >/dev/null
  if [ -n "$destdir" ]; then
    DESTDIR=$destdir cmake --install "$work/$name" --strip >/dev/null
    # The manifest names the files without DESTDIR; its last line has no
    # newline of its own.
    { cat "$work/$name/install_manifest.txt"; echo; } >> "$files"
  else
    cmake --install "$work/$name" >/dev/null
  fi
done
rm -rf "$work"
echo "$stamp" > "$stamp_file"
echo "build-platform: $kind platform in ${destdir:-$prefix}" | sed "s|$top/||"
