#!/bin/sh
# The emulated access point: the image that the README's SDK commands
# installed (build-sdk/image), with the target platform of the SDK's sysroot,
# boots Debian's arm64 backports kernel under qemu-system-aarch64 (TCG,
# machine virt) and runs the whole system there with its own init and
# busybox (tests/device): the message queue limits before and after
# sysctl.d, the story of the demo, pinrig's GPIO scenarios on gpio-sim
# chips, 1,000 scans and 10,000 log lines with the daemons' memory, stop
# signals and the loss of the broker. Half a minute to a minute.
# Needs scripts/setup.sh, scripts/build.sh target -DAPSUITE_TEST_HELPERS=ON
# and scripts/build.sh sdk first.
set -eu
cd "$(dirname "$0")/.."
started=$(date +%s%N)
scripts/fetch-device-vm.sh
status=0
/usr/bin/python3 -m pytest -q -p no:cacheprovider -rs tests/device || status=$?
[ -e build-device/report.txt ] && cat build-device/report.txt
echo "device stage: $(( ($(date +%s%N) - started) / 1000000000 )) s (console: build-device/console.log)"
exit $status
