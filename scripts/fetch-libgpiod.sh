#!/bin/sh
# libgpiod v2 for the build host. Debian 12 ships only version 1.6, so the
# packages libgpiod3 and libgpiod-dev are taken from Debian 13 (trixie) and
# unpacked into deps/gpiod. The machine's own apt configuration is not
# touched: apt runs here with a private sources list, lists and cache.
set -eu
cd "$(dirname "$0")/.."

dest=deps/gpiod
[ -e "$dest/usr/include/gpiod.h" ] && exit 0

mirror=$(sed -n 's/^URIs: *\(http[^ ]*debian\/\?\)$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $2 ~ /debian\/?$/ { print $2; exit }' /etc/apt/sources.list 2>/dev/null)
[ -n "$mirror" ] || { echo "fetch-libgpiod: no Debian archive found in the apt sources" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/debs"
echo "deb $mirror trixie main" > "$work/sources.list"
apt_private="-o Dir::Etc::SourceList=$work/sources.list -o Dir::Etc::SourceParts=/dev/null
             -o Dir::State::Lists=$work/lists -o Dir::Cache=$work/cache
             -o Dir::State::Status=/dev/null -o APT::Sandbox::User=root -o APT::Architecture=$(dpkg --print-architecture)"
# shellcheck disable=SC2086
apt-get $apt_private -qq update
cd "$work/debs"
# shellcheck disable=SC2086
apt-get $apt_private -qq download libgpiod3 libgpiod-dev
cd - >/dev/null
rm -rf "$dest"
mkdir -p "$dest"
for deb in "$work"/debs/*.deb; do
  dpkg -x "$deb" "$dest"
done
echo "fetch-libgpiod: unpacked $(ls "$work"/debs) into $dest"
