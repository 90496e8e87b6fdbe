#!/bin/sh
# Runs the README's target commands as a firmware engineer would, against
# an SDK staged from the target build (scripts/build.sh target): the
# toolchain's sysroot, with the stand-ins installed into it as the
# platform's libraries and the musl libgpiod already there, and a
# toolchain.cmake beside it.
#
#   build-sdk/sdk     the SDK: toolchain.cmake and sysroot/
#   build-sdk/build   the README's cmake commands, with no other flag
#   build-sdk/image   what `cmake --install` puts into the device's image
set -eu
cd "$(dirname "$0")/.."
top=$PWD
sdk=$top/build-sdk/sdk
[ -d build-target ] || { echo "sdk-check: run scripts/build.sh target first" >&2; exit 1; }

rm -rf build-sdk
mkdir -p "$sdk"
# Hard links: the staged sysroot costs no space, and installing into it
# only adds files.
cp -al deps/aarch64-musl/sysroot "$sdk/sysroot"
ln -s "$top/deps/aarch64-musl/resource-dir" "$sdk/resource-dir"
ln -s "$top/deps/aarch64-musl/bin" "$sdk/bin"
DESTDIR=$sdk/sysroot cmake --install build-target --component hostkit --prefix /usr >/dev/null
# Debian-built sysroots keep libraries in multiarch folders: put libgpiod
# in one, so the check also finds it there.
multiarch=$sdk/sysroot/usr/lib/aarch64-linux-gnu
mkdir -p "$multiarch"
mv "$sdk"/sysroot/usr/lib/libgpiod.so* "$multiarch/"
cat > "$sdk/toolchain.cmake" <<EOT
set(APSUITE_TARGET_TOOLCHAIN $sdk)
include($top/cmake/aarch64-linux-musl.cmake)
EOT

cmake -S . -B build-sdk/build -DCMAKE_TOOLCHAIN_FILE="$sdk/toolchain.cmake" \
      -DCMAKE_PREFIX_PATH="$sdk/sysroot/usr" \
      -DAPSUITE_PLATFORM=SYSTEM -DAPSUITE_TESTS=OFF >/dev/null
cmake --build build-sdk/build -j "$(nproc)"
DESTDIR=$top/build-sdk/image cmake --install build-sdk/build
