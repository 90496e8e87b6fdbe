#!/bin/sh
# What the kernel GPIO test stage boots, unpacked into deps/gpio-vm:
#   vmlinuz, configfs.ko and gpio-sim.ko  from the trixie-backports kernel
#                                         (Debian 12's kernels lack gpio-sim),
#   lib/  the loader, libc.so.6 and libgpiod.so.3 from trixie, the libraries
#         pinrig is built against (deps/gpiod).
# The machine's own apt configuration is not touched: apt runs here with a
# private sources list, lists and cache. Nothing is fetched when in place.
set -eu
cd "$(dirname "$0")/.."

dest=deps/gpio-vm
[ -e "$dest/complete" ] && exit 0

mirror=$(sed -n 's/^URIs: *\(http[^ ]*debian\/\?\)$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $2 ~ /debian\/?$/ { print $2; exit }' /etc/apt/sources.list 2>/dev/null)
[ -n "$mirror" ] || { echo "fetch-gpio-vm: no Debian archive found in the apt sources" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/debs" "$work/root"
printf 'deb %s trixie main\ndeb %s trixie-backports main\n' "$mirror" "$mirror" > "$work/sources.list"
apt_private="-o Dir::Etc::SourceList=$work/sources.list -o Dir::Etc::SourceParts=/dev/null
             -o Dir::State::Lists=$work/lists -o Dir::Cache=$work/cache
             -o Dir::State::Status=/dev/null -o APT::Sandbox::User=root -o APT::Architecture=amd64"
# shellcheck disable=SC2086
apt-get $apt_private -qq update

# The kernel metapackage of trixie-backports names the versioned packages
# that carry the image and the modules.
# shellcheck disable=SC2086
kernel=$(apt-cache $apt_private show -t trixie-backports linux-image-amd64 |
         sed -n 's/^Depends:.*\(linux-image-[0-9][^ ,]*-amd64\).*/\1/p' | head -n 1)
[ -n "$kernel" ] || { echo "fetch-gpio-vm: no backports kernel found" >&2; exit 1; }
release=${kernel#linux-image-}

cd "$work/debs"
# shellcheck disable=SC2086
apt-get $apt_private -qq download "linux-binary-$release" "linux-modules-$release" libc6 libgpiod3
cd - >/dev/null

for deb in "$work"/debs/linux-binary-*.deb "$work"/debs/libc6_*.deb "$work"/debs/libgpiod3_*.deb; do
  dpkg -x "$deb" "$work/root"
done
# Of the modules only the two the guest loads, and they are xz-compressed.
dpkg-deb --fsys-tarfile "$work"/debs/linux-modules-*.deb |
  tar -x -C "$work/root" --wildcards '*/kernel/fs/configfs/configfs.ko.xz' '*/kernel/drivers/gpio/gpio-sim.ko.xz'

rm -rf "$dest"
mkdir -p "$dest/lib"
modules=$work/root/usr/lib/modules/$release
cp "$modules/vmlinuz" "$dest/vmlinuz"
xz -dc "$modules/kernel/fs/configfs/configfs.ko.xz" > "$dest/configfs.ko"
xz -dc "$modules/kernel/drivers/gpio/gpio-sim.ko.xz" > "$dest/gpio-sim.ko"
libs=$work/root/usr/lib/x86_64-linux-gnu
cp -L "$libs/ld-linux-x86-64.so.2" "$libs/libc.so.6" "$libs/libgpiod.so.3" "$dest/lib/"
echo "$release" > "$dest/complete"
echo "fetch-gpio-vm: kernel $release, $(ls "$work"/debs | tr '\n' ' ')into $dest"
