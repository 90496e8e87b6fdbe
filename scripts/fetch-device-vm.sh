#!/bin/sh
# What the emulated access point boots besides the image and the target
# platform, unpacked into deps/device-vm:
#   Image                    the trixie-backports arm64 kernel (Debian 12's
#                            kernels lack gpio-sim), as qemu boots it
#   configfs.ko, gpio-sim.ko the two modules the guest loads
#   busybox                  Debian's static arm64 busybox, the guest's shell
#   release                  the kernel's release
#   versions                 the stamp, written last (scripts/private-apt.sh)
# All of it is arm64: nothing of the build host's own architecture. Whatever
# the archive has today is taken, as long as the kernel is an arm64 Image
# with both modules and busybox is a static arm64 program.
# The machine's apt configuration is not touched (scripts/private-apt.sh).
# Nothing is fetched when it is in place.
set -eu
cd "$(dirname "$0")/.."
. scripts/private-apt.sh

dest=deps/device-vm
fetched "$dest/versions" && exit 0

fail() { echo "fetch-device-vm: $*" >&2; exit 1; }

private_apt_init "deb [arch=arm64] MIRROR trixie main" "deb [arch=arm64] MIRROR trixie-backports main"
# The kernel metapackage of trixie-backports names the versioned packages
# that carry the image and the modules.
private_apt_download linux-image-arm64/trixie-backports busybox-static:arm64
kernel=$(dpkg-deb -f "$private_apt_dir"/debs/linux-image-arm64_*.deb Depends |
         sed -n 's/.*\(linux-image-[0-9][^ ,]*-arm64\).*/\1/p')
[ -n "$kernel" ] || fail "no backports kernel found"
release=${kernel#linux-image-}
private_apt_download "linux-binary-$release" "linux-modules-$release"

root=$private_apt_dir/root
mkdir -p "$root"
dpkg -x "$private_apt_dir"/debs/linux-binary-*.deb "$root"
dpkg -x "$private_apt_dir"/debs/busybox-static_*.deb "$root"
# Of the 90 MB of modules only the two the guest loads, plain or xz.
modules=$(dpkg-deb -c "$private_apt_dir"/debs/linux-modules-*.deb |
          grep -oE '\./usr/lib/modules/.*/kernel/(fs/configfs/configfs|drivers/gpio/gpio-sim)\.ko(\.xz)?$')
for module in configfs gpio-sim; do
  echo "$modules" | grep -q "/$module\.ko" || fail "the kernel $release has no module $module"
done
# shellcheck disable=SC2086
dpkg-deb --fsys-tarfile "$private_apt_dir"/debs/linux-modules-*.deb | tar -x -C "$root" $modules

rm -rf "$dest"
mkdir -p "$dest"
for module in $modules; do
  name=$(basename "$module" .xz)
  case $module in
    *.xz) xz -dc "$root/$module" > "$dest/$name" ;;
    *)    cp "$root/$module" "$dest/$name" ;;
  esac
done
# qemu boots a plain Image; a compressed one is unpacked here.
vmlinuz=$root/usr/lib/modules/$release/vmlinuz
if gzip -t "$vmlinuz" 2>/dev/null; then
  gzip -dc "$vmlinuz" > "$dest/Image"
else
  cp "$vmlinuz" "$dest/Image"
fi
# An arm64 Image carries "ARM\x64" at byte 56.
[ "$(od -An -c -j 56 -N 4 "$dest/Image" | tr -d ' ')" = 'ARMd' ] || fail "the kernel $release is no arm64 Image"
cp "$root/usr/bin/busybox" "$dest/busybox"
# Static (no program interpreter) and arm64 (machine 183 = 0xb7).
if readelf -lW "$dest/busybox" | grep -q 'INTERP' || [ "$(od -An -tx1 -j 18 -N 1 "$dest/busybox" | tr -d ' ')" != b7 ]; then
  fail "Debian's busybox-static:arm64 is not a static arm64 program"
fi
echo "$release" > "$dest/release"
private_apt_stamp "$dest/versions"
