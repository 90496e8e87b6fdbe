#!/bin/sh
# The sysroot of the second compiler's build: Debian's GCC cross compiler
# for aarch64 with glibc (gcc-aarch64-linux-gnu, which scripts/setup.sh
# installs), the same release's glibc (2.36) in the cross compiler's own
# folder, and beside it, in deps/aarch64-gnu:
#
#   sysroot/lib -> /usr/aarch64-linux-gnu/lib   glibc, as the emulator loads it
#   sysroot/usr/lib/aarch64-linux-gnu           json-c, Debian 12's arm64 packages
#   sysroot/usr/{include,lib}                   libgpiod (scripts/fetch-target-libgpiod.sh gnu)
#                                               and the platform (scripts/build-platform.sh
#                                               aarch64-gnu)
#   bin/qemu-aarch64-static                     the emulator
#   versions                                    the stamp, written last
#
# Nothing is fetched when it is there. The packages are only unpacked
# (scripts/private-apt.sh); nothing is installed for the foreign
# architecture.
set -eu
cd "$(dirname "$0")/.."
. scripts/private-apt.sh

dest=deps/aarch64-gnu
if ! fetched "$dest/versions"; then
  command -v aarch64-linux-gnu-gcc >/dev/null || { echo "fetch-gcc-sysroot: run scripts/setup.sh first" >&2; exit 1; }
  private_apt_init "deb [arch=arm64,$(dpkg --print-architecture)] MIRROR bookworm main"
  private_apt_download libjson-c5:arm64 libjson-c-dev:arm64 qemu-user-static
  rm -rf "$dest"
  unpacked="$private_apt_dir/unpacked"
  private_apt_unpack "$unpacked"
  mkdir -p "$dest/bin"
  mv "$unpacked/usr/bin/qemu-aarch64-static" "$dest/bin/"
  rm -rf "$unpacked/usr/bin" "$unpacked/usr/share" "$unpacked/usr/lib/binfmt.d" "$unpacked/etc"
  ln -s /usr/aarch64-linux-gnu/lib "$unpacked/lib"
  mv "$unpacked" "$dest/sysroot"
  [ -e "$dest/sysroot/usr/lib/aarch64-linux-gnu/libjson-c.so.5" ] ||
    { echo "fetch-gcc-sysroot: bookworm's libjson-c5:arm64 has no libjson-c.so.5" >&2; exit 1; }
  private_apt_stamp "$dest/versions"
fi
scripts/fetch-target-libgpiod.sh gnu
