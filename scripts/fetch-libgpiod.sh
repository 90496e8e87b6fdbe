#!/bin/sh
# libgpiod v2 for the build host. Debian 12 ships only version 1.6, so the
# packages libgpiod3 and libgpiod-dev are taken from Debian 13 (trixie) and
# unpacked into deps/gpiod; the fetch fails unless they are version 2. The
# machine's own apt configuration is not touched (scripts/private-apt.sh).
set -eu
cd "$(dirname "$0")/.."
. scripts/private-apt.sh

dest=deps/gpiod
fetched "$dest/versions" && exit 0

private_apt_init "deb MIRROR trixie main"
private_apt_download libgpiod3 libgpiod-dev
rm -rf "$dest"
private_apt_unpack "$dest"
if ! grep -qs '^Version: 2\.' "$dest"/usr/lib/*/pkgconfig/libgpiod.pc; then
  echo "fetch-libgpiod: trixie's libgpiod-dev is not version 2: $(ls "$private_apt_dir"/debs)" >&2
  exit 1
fi
private_apt_stamp "$dest/versions"
