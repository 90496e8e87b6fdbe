#!/bin/sh
# libgpiod v2 for the target. Debian's arm64 libgpiod3 is linked against
# glibc and does not load under musl, so the library is built here from the
# source of Debian 13's (trixie) package, with the target's toolchain
# (cmake/aarch64-linux-musl.cmake), and installed into the target sysroot
# the way an SDK sysroot carries it:
#
#   deps/aarch64-musl/sysroot/usr/include/gpiod.h
#   deps/aarch64-musl/sysroot/usr/lib/libgpiod.so*
#
# `scripts/fetch-target-libgpiod.sh gnu` builds the same source with
# Debian's GCC cross compiler for aarch64 with glibc into the sysroot of
# that build (scripts/fetch-gcc-sysroot.sh), so both carry one libgpiod.
#
# The source must be libgpiod 2. Nothing is built when the library is
# already there (its stamp: libgpiod.versions beside the sysroot). The
# machine's apt configuration is not touched (scripts/private-apt.sh) and
# only the release tarball is downloaded, never unpacked with dpkg-source.
set -eu
cd "$(dirname "$0")/.."
. scripts/private-apt.sh
. scripts/target-env.sh

case "${1:-musl}" in
  musl)
    scripts/fetch-target-toolchain.sh
    sysroot=deps/aarch64-musl/sysroot
    libc=libc.so ;;
  gnu)
    sysroot=deps/aarch64-gnu/sysroot
    libc=libc.so.6 ;;
  *) echo "usage: scripts/fetch-target-libgpiod.sh [musl|gnu]" >&2; exit 2 ;;
esac
stamp=${sysroot%/sysroot}/libgpiod.versions
fetched "$stamp" && exit 0

if [ "${1:-musl}" = musl ]; then
  # CC, CFLAGS, LDFLAGS... exactly as the toolchain file gives them to CMake.
  # libtool drops driver options it does not know (-resource-dir, --rtlib,
  # -B) from its link lines, so all the toolchain's flags ride in CC.
  target_env
  CC="$CC -Qunused-arguments $CFLAGS $LDFLAGS"
else
  TARGET_TRIPLE=aarch64-linux-gnu CC=aarch64-linux-gnu-gcc AR=aarch64-linux-gnu-ar
  RANLIB=aarch64-linux-gnu-ranlib STRIP=aarch64-linux-gnu-strip
fi

private_apt_init "deb-src MIRROR trixie main"
work=$private_apt_dir/build
mkdir -p "$work"
(cd "$work" && private_apt -qq source --download-only --tar-only libgpiod)
tar -xf "$work"/libgpiod_*.orig.tar.* -C "$work"
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libgpiod-*')
case ${src##*/} in
  libgpiod-2.*) ;;
  *) echo "fetch-target-libgpiod: trixie's libgpiod is not version 2: ${src##*/}" >&2; exit 1 ;;
esac

# A cross configure cannot run its malloc(0) probe and would swap in an
# rpl_malloc that nothing defines; musl's and glibc's malloc(0) and
# realloc(p, 0) return usable pointers.
(cd "$src" && ./configure -q --host="$TARGET_TRIPLE" --prefix=/usr --libdir=/usr/lib \
    --disable-static --enable-shared --disable-tools --disable-tests --disable-examples \
    --disable-bindings-cxx --disable-bindings-python --disable-bindings-rust \
    --disable-bindings-glib --disable-dbus --disable-systemd \
    CC="$CC" AR="$AR" RANLIB="$RANLIB" STRIP="$STRIP" \
    CFLAGS=-Os \
    ac_cv_func_malloc_0_nonnull=yes ac_cv_func_realloc_0_nonnull=yes)
make -s -C "$src" -j "$(nproc)"
make -s -C "$src" install-strip DESTDIR="$PWD/$sysroot"
# libtool's archive names build paths; a sysroot has no use for it.
rm -f "$sysroot"/usr/lib/libgpiod.la

needed=$(readelf -d "$sysroot/usr/lib/libgpiod.so.3" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
if [ "$needed" != "$libc " ]; then
  echo "fetch-target-libgpiod: libgpiod.so.3 needs '$needed', expected only $libc" >&2
  exit 1
fi
echo "fetch-target-libgpiod: $(basename "$src") built into $sysroot/usr"
private_apt_stamp "$stamp"
