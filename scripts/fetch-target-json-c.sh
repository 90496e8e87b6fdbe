#!/bin/sh
# json-c for the target, which libubox's JSON text (libblobmsg_json), ubusd
# and the ubus client need. Debian's arm64 libjson-c5 is linked against
# glibc, so the library is built here from the source of Debian 12's
# (bookworm) package, the build host's own version, with the target's
# toolchain file (cmake/aarch64-linux-musl.cmake), and installed into the
# target sysroot the way an SDK sysroot carries it:
#
#   deps/aarch64-musl/sysroot/usr/include/json-c/
#   deps/aarch64-musl/sysroot/usr/lib/libjson-c.so*
#   deps/aarch64-musl/sysroot/usr/lib/pkgconfig/json-c.pc
#
# Nothing is built when the library is already there (its stamp:
# deps/aarch64-musl/json-c.versions). The machine's apt configuration is
# not touched (scripts/private-apt.sh) and only the release tarball is
# downloaded, never unpacked with dpkg-source.
set -eu
cd "$(dirname "$0")/.."
. scripts/private-apt.sh

scripts/fetch-target-toolchain.sh
sysroot=$PWD/deps/aarch64-musl/sysroot
stamp=$PWD/deps/aarch64-musl/json-c.versions
fetched "$stamp" && exit 0

private_apt_init "deb-src MIRROR bookworm main"
work=$private_apt_dir/build
mkdir -p "$work"
(cd "$work" && private_apt -qq source --download-only --tar-only json-c)
tar -xf "$work"/json-c_*.orig.tar.* -C "$work"
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'json-c-*')

# Only the shared library: no static one, apps or tests. Its optional
# random-seed source (libbsd's arc4random) is not on the target.
cmake -S "$src" -B "$work/out" -Wno-dev --no-warn-unused-cli \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/aarch64-linux-musl.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel \
      -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR=lib \
      -DBUILD_SHARED_LIBS=ON -DBUILD_STATIC_LIBS=OFF -DBUILD_TESTING=OFF -DBUILD_APPS=OFF \
      -DDISABLE_WERROR=ON -DDISABLE_EXTRA_LIBS=ON -DENABLE_THREADING=OFF >/dev/null
cmake --build "$work/out" -j "$(nproc)" >/dev/null
DESTDIR=$sysroot cmake --install "$work/out" --strip >/dev/null
# Its CMake package names the build's paths; pkg-config is how the platform
# finds it.
rm -rf "$sysroot/usr/lib/cmake/json-c"

needed=$(readelf -d "$sysroot/usr/lib/libjson-c.so.5" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
if [ "$needed" != "libc.so " ]; then
  echo "fetch-target-json-c: libjson-c.so.5 needs '$needed', expected only libc.so" >&2
  exit 1
fi
echo "fetch-target-json-c: $(basename "$src") built into ${sysroot#"$PWD"/}/usr"
private_apt_stamp "$stamp"
