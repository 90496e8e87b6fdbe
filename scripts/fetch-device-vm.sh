#!/bin/sh
# What the emulated access point boots besides the image and the target
# platform, unpacked into deps/device-vm:
#   Image                    the trixie-backports arm64 kernel (Debian 12's
#                            kernels lack gpio-sim)
#   configfs.ko, gpio-sim.ko the two modules the guest loads
#   busybox                  Debian's static arm64 busybox, the guest's shell
# All of it is arm64: nothing of the build host's own architecture.
# The machine's apt configuration is not touched (scripts/private-apt.sh).
# Nothing is fetched when it is in place.
set -eu
cd "$(dirname "$0")/.."
. scripts/private-apt.sh

dest=deps/device-vm
[ -e "$dest/complete" ] && exit 0

private_apt_init "deb [arch=arm64] MIRROR trixie main" "deb [arch=arm64] MIRROR trixie-backports main"
# The kernel metapackage of trixie-backports names the versioned packages
# that carry the image and the modules.
private_apt_download linux-image-arm64/trixie-backports busybox-static:arm64
kernel=$(dpkg-deb -f "$private_apt_dir"/debs/linux-image-arm64_*.deb Depends |
         sed -n 's/.*\(linux-image-[0-9][^ ,]*-arm64\).*/\1/p')
[ -n "$kernel" ] || { echo "fetch-device-vm: no backports kernel found" >&2; exit 1; }
release=${kernel#linux-image-}
private_apt_download "linux-binary-$release" "linux-modules-$release"

root=$private_apt_dir/root
mkdir -p "$root"
dpkg -x "$private_apt_dir"/debs/linux-binary-*.deb "$root"
dpkg -x "$private_apt_dir"/debs/busybox-static_*.deb "$root"
# Of the 90 MB of modules only the two the guest loads, uncompressed.
dpkg-deb --fsys-tarfile "$private_apt_dir"/debs/linux-modules-*.deb |
  tar -x -C "$root" --wildcards '*/kernel/fs/configfs/configfs.ko.xz' '*/kernel/drivers/gpio/gpio-sim.ko.xz'

rm -rf "$dest"
mkdir -p "$dest"
modules=$root/usr/lib/modules/$release
# qemu boots a plain Image; a compressed one is unpacked here.
if gzip -t "$modules/vmlinuz" 2>/dev/null; then
  gzip -dc "$modules/vmlinuz" > "$dest/Image"
else
  cp "$modules/vmlinuz" "$dest/Image"
fi
xz -dc "$modules/kernel/fs/configfs/configfs.ko.xz" > "$dest/configfs.ko"
xz -dc "$modules/kernel/drivers/gpio/gpio-sim.ko.xz" > "$dest/gpio-sim.ko"
cp "$root/usr/bin/busybox" "$dest/busybox"
echo "$release" > "$dest/complete"
echo "fetch-device-vm: kernel $release, $(ls "$private_apt_dir"/debs | tr '\n' ' ')into $dest"
