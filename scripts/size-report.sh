#!/bin/sh
# Size benchmark: the stripped text size of each deliverable of a build
# tree (scripts/size-report.sh build-target), beside the size plain C code
# doing the same work takes for aarch64 at -Os with the same clang and lld.
# The platform libraries are shared objects, so only the program counts.
set -eu
dir=${1:-build-target}
strip=$(command -v llvm-strip-14 || command -v strip)
size=$(command -v llvm-size-14 || command -v size)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf '%-10s %8s %8s %6s\n' deliverable text "plain C" ratio
for entry in airsift:8759 linetap:7434 confwatch:4829 pinrig:5230; do
  name=${entry%%:*} reference=${entry#*:}
  [ -x "$dir/bin/$name" ] || { printf '%-10s %8s\n' "$name" "not built"; continue; }
  "$strip" -o "$tmp/$name" "$dir/bin/$name"
  text=$("$size" "$tmp/$name" | awk 'NR == 2 { print $1 }')
  printf '%-10s %8d %8d %6s\n' "$name" "$text" "$reference" \
    "$(awk -v a="$text" -v b="$reference" 'BEGIN { printf "%.2f", a / b }')"
done
