#!/bin/sh
# Runs the README's target commands as a firmware engineer would, against
# an SDK staged from the target's sysroot (scripts/build.sh target): musl,
# json-c, the platform's libraries with their broker and clients, and
# libgpiod, as deps/aarch64-musl/sysroot holds them, and a toolchain.cmake
# beside it.
#
#   build-sdk/sdk     the SDK: toolchain.cmake and sysroot/
#   build-sdk/build   the README's commands, as written there, with <sdk>,
#                     <image> and their build folder filled in
#   build-sdk/image   what `cmake --install` puts into the device's image
set -eu
cd "$(dirname "$0")/.."
top=$PWD
sdk=$top/build-sdk/sdk
[ -f deps/aarch64-musl/platform.stamp ] || { echo "sdk-check: run scripts/build.sh target first" >&2; exit 1; }

rm -rf build-sdk
mkdir -p "$sdk"
# Hard links: the staged sysroot costs no space. Nothing is installed into
# it; files are only moved within it.
cp -al deps/aarch64-musl/sysroot "$sdk/sysroot"
ln -s "$top/deps/aarch64-musl/resource-dir" "$sdk/resource-dir"
ln -s "$top/deps/aarch64-musl/bin" "$sdk/bin"
# Debian-built sysroots keep libraries in multiarch folders: put libgpiod
# in one, so the check also finds it there.
multiarch=$sdk/sysroot/usr/lib/aarch64-linux-gnu
mkdir -p "$multiarch"
mv "$sdk"/sysroot/usr/lib/libgpiod.so* "$multiarch/"
cat > "$sdk/toolchain.cmake" <<EOT
set(APSUITE_TARGET_TOOLCHAIN $sdk)
include($top/cmake/aarch64-linux-musl.cmake)
EOT

# The first sh block under "## Building for the target".
commands=$(awk '/^## Building for the target/ { section = 1; next }
                section && /^```sh/ { block = 1; next }
                block && /^```/ { exit }
                block { print }' README.md)
[ -n "$commands" ] || { echo "sdk-check: no commands under the README's \"Building for the target\"" >&2; exit 1; }
echo "$commands" | sed -e "s|<sdk>|$sdk|g" -e "s|<image>|$top/build-sdk/image|g" \
                       -e "s|build-target|build-sdk/build|g" > build-sdk/commands.sh
sh -eu build-sdk/commands.sh
