#!/bin/sh
# The target's toolchain from Debian 12's packages: clang-14 and lld-14,
# which scripts/setup.sh installs, with a sysroot for aarch64-linux-musl
# unpacked into deps/aarch64-musl (musl, the kernel's uAPI headers,
# compiler-rt builtins) and qemu-aarch64-static to run what it builds. Nothing is installed for
# the foreign architecture and the machine's binfmt_misc is left alone:
# the packages are only unpacked (scripts/private-apt.sh).
#
#   deps/aarch64-musl/sysroot       musl headers and libraries, uAPI headers
#   deps/aarch64-musl/resource-dir  clang's headers with aarch64 builtins
#   deps/aarch64-musl/bin/qemu-aarch64-static
#   deps/aarch64-musl/toolchain.versions   the stamp, written last
#
# cmake/aarch64-linux-musl.cmake is the toolchain file that uses them.
set -eu
cd "$(dirname "$0")/.."
. scripts/private-apt.sh

dest=deps/aarch64-musl
fetched "$dest/toolchain.versions" && exit 0

private_apt_init "deb [arch=arm64,$(dpkg --print-architecture)] MIRROR bookworm main"
private_apt_download musl:arm64 musl-dev:arm64 linux-libc-dev:arm64 libclang-rt-14-dev:arm64 \
                     qemu-user-static
rm -rf "$dest"
unpacked="$private_apt_dir/unpacked"
private_apt_unpack "$unpacked"

mkdir -p "$dest/bin" "$dest/resource-dir/lib"
mv "$unpacked/usr/bin/qemu-aarch64-static" "$dest/bin/"
rm -rf "$unpacked/usr/bin" "$unpacked/usr/share" "$unpacked/usr/lib/binfmt.d" "$unpacked/etc"
mv "$unpacked" "$dest/sysroot"
# clang's own headers, with the target's builtins and crtbegin/crtend.
clang_version=$(clang-14 -dumpversion)
ln -s "/usr/lib/llvm-14/lib/clang/$clang_version/include" "$dest/resource-dir/include"
ln -s "../../sysroot/usr/lib/llvm-14/lib/clang/$clang_version/lib/linux" "$dest/resource-dir/lib/linux"
for needed in "$dest/resource-dir/lib/linux/libclang_rt.builtins-aarch64.a" \
              "$dest/sysroot/lib/ld-musl-aarch64.so.1" "$dest/sysroot/usr/include/linux/gpio.h"; do
  [ -e "$needed" ] || { echo "fetch-target-toolchain: the packages have no ${needed#"$dest"/}" >&2; exit 1; }
done
private_apt_stamp "$dest/toolchain.versions"
