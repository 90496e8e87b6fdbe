#!/bin/sh
# pinrig as built (build/bin), with Debian's libgpiod, on gpio-sim chips of a
# real kernel: the trixie-backports kernel boots under qemu (TCG) with a
# busybox initramfs and runs every scenario of tests/pinrig_kernel, about a
# minute. Needs scripts/setup.sh and scripts/build.sh normal first.
set -eu
cd "$(dirname "$0")/.."
scripts/fetch-gpio-vm.sh
APSUITE_BIN=$PWD/build/bin exec /usr/bin/python3 -m pytest -q -p no:cacheprovider -rs \
  tests/pinrig_kernel/test_kernel_gpio.py
