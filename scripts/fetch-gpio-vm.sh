#!/bin/sh
# What the kernel GPIO test stage boots, unpacked into deps/gpio-vm:
#   vmlinuz, configfs.ko, gpio-sim.ko  from the trixie-backports kernel
#                                      (Debian 12's kernels lack gpio-sim),
#   lib/  the loader, libc.so.6 and libgpiod.so.3 of trixie, the libraries
#         pinrig is built against (deps/gpiod).
# The machine's apt configuration is not touched (scripts/private-apt.sh).
# Nothing is fetched when it is in place.
set -eu
cd "$(dirname "$0")/.."
. scripts/private-apt.sh

dest=deps/gpio-vm
[ -e "$dest/complete" ] && exit 0

private_apt_init "deb MIRROR trixie main" "deb MIRROR trixie-backports main"
# The kernel metapackage of trixie-backports names the versioned packages
# that carry the image and the modules.
private_apt_download linux-image-amd64/trixie-backports
kernel=$(dpkg-deb -f "$private_apt_dir"/debs/linux-image-amd64_*.deb Depends |
         sed -n 's/.*\(linux-image-[0-9][^ ,]*-amd64\).*/\1/p')
[ -n "$kernel" ] || { echo "fetch-gpio-vm: no backports kernel found" >&2; exit 1; }
release=${kernel#linux-image-}
private_apt_download "linux-binary-$release" "linux-modules-$release" libc6:amd64 libgpiod3:amd64

root=$private_apt_dir/root
mkdir -p "$root"
for deb in "$private_apt_dir"/debs/linux-binary-*.deb "$private_apt_dir"/debs/libc6_*.deb \
           "$private_apt_dir"/debs/libgpiod3_*.deb; do
  dpkg -x "$deb" "$root"
done
# Of the 100 MB of modules only the two the guest loads, uncompressed.
dpkg-deb --fsys-tarfile "$private_apt_dir"/debs/linux-modules-*.deb |
  tar -x -C "$root" --wildcards '*/kernel/fs/configfs/configfs.ko.xz' '*/kernel/drivers/gpio/gpio-sim.ko.xz'

rm -rf "$dest"
mkdir -p "$dest/lib"
modules=$root/usr/lib/modules/$release
cp "$modules/vmlinuz" "$dest/vmlinuz"
xz -dc "$modules/kernel/fs/configfs/configfs.ko.xz" > "$dest/configfs.ko"
xz -dc "$modules/kernel/drivers/gpio/gpio-sim.ko.xz" > "$dest/gpio-sim.ko"
libs=$root/usr/lib/x86_64-linux-gnu
cp -L "$libs/ld-linux-x86-64.so.2" "$libs/libc.so.6" "$libs/libgpiod.so.3" "$dest/lib/"
echo "$release" > "$dest/complete"
echo "fetch-gpio-vm: kernel $release, $(ls "$private_apt_dir"/debs | tr '\n' ' ')into $dest"
