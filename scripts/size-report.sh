#!/bin/sh
# Size benchmark: the stripped text size of each deliverable of a build
# tree, beside the size plain C code doing the same work takes for aarch64
# with the same compiler and libraries, with the ratio and the 1.1x mark.
# The platform libraries are shared objects, so only the program counts.
#
#   scripts/size-report.sh [build-dir] [name=bytes...]
#   scripts/size-report.sh [build-dir] [file]
#
# build-dir is the caller's (the tree's build-target when none is given).
#
# The plain C figures come from the arguments, or from a file of
# "name bytes" lines (benchmarks/plain-c-text-sizes when none is given).
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$here/build-target}
[ $# -gt 0 ] && shift
reference=$(mktemp)
trap 'rm -f "$reference" "$reference.strip"' EXIT
case "${1:-}" in
  *=*) for pair in "$@"; do echo "${pair%%=*} ${pair#*=}"; done > "$reference" ;;
  '')  grep -v '^#' "$here/benchmarks/plain-c-text-sizes" > "$reference" ;;
  *)   grep -v '^#' "$1" > "$reference" ;;
esac
strip=$(command -v llvm-strip-14 || command -v strip)
size=$(command -v llvm-size-14 || command -v size)
printf '%-10s %8s %8s %6s %8s\n' deliverable text "plain C" ratio "1.1x"
while read -r name plain; do
  [ -n "$name" ] || continue
  [ -x "$dir/bin/$name" ] || { printf '%-10s %8s\n' "$name" "not built"; continue; }
  "$strip" -o "$reference.strip" "$dir/bin/$name"
  text=$("$size" "$reference.strip" | awk 'NR == 2 { print $1 }')
  awk -v name="$name" -v a="$text" -v b="$plain" 'BEGIN {
    limit = int(b * 1.1)
    printf "%-10s %8d %8d %6.2f %8d%s\n", name, a, b, a / b, limit, (a > limit ? "  over" : "")
  }'
done < "$reference"
