#!/bin/sh
# Runs the fuzz targets of build-fuzz (build them with scripts/build.sh fuzz):
#
#   scripts/fuzz.sh [seconds] [target...]     default: 20 s, every target
#   scripts/fuzz.sh 600                       the longer run: 10 minutes each
#
# Each target first replays the inputs of faults found before
# (tests/fuzz/regressions/<target>/), then fuzzes for the given seconds
# from its seeds (tests/fuzz/corpus/<target>/) and what earlier runs added
# (build-fuzz/corpus/<target>/), two targets at a time, under nice. A
# finding is kept in build-fuzz/findings/<target>/ and fails the run; keep
# it as a regression input once the fault is fixed. Logs go to
# build-fuzz/logs/<target>.log; one summary line per target is printed and,
# in a stage of ./run-tests, one JUnit case per target is written for its
# summary (scripts/stages.sh).
set -eu
cd "$(dirname "$0")/.."
build=$PWD/build-fuzz
fuzz_dir=$PWD/tests/fuzz

# The target's JUnit case: passed, or failed with the given message.
junit_case() { # target [message]
  [ -n "${APSUITE_RESULTS:-}" ] || return 0
  failure=
  [ $# -lt 2 ] ||
    failure="<failure message=\"$(printf '%s' "$2" | sed 's/&/\&amp;/g; s/</\&lt;/g; s/"/\&quot;/g')\"/>"
  printf '<testsuite name="fuzz"><testcase classname="fuzz" name="%s">%s</testcase></testsuite>\n' \
    "$1" "$failure" > "$APSUITE_RESULTS/$1.xml"
}

if [ "${1:-}" = --one ]; then
  target=$2 seconds=$3
  exe=$build/bin/$target
  log=$build/logs/$target.log
  mkdir -p "$build/corpus/$target" "$build/findings/$target" "$build/logs"
  : > "$log"
  # Timeouts and memory are bounded too: a slow input is a finding.
  options="-timeout=25 -rss_limit_mb=2048 -artifact_prefix=$build/findings/$target/"
  if [ -d "$fuzz_dir/regressions/$target" ]; then
    # shellcheck disable=SC2086
    if ! nice -n 19 "$exe" $options "$fuzz_dir"/regressions/"$target"/* >>"$log" 2>&1; then
      echo "$target: a regression input fails again (see $log)"
      junit_case "$target" "a regression input fails again (see $log)"
      exit 1
    fi
  fi
  start=$(date +%s)
  # shellcheck disable=SC2086
  if nice -n 19 "$exe" $options -max_len=16384 -max_total_time="$seconds" -print_final_stats=1 \
       "$build/corpus/$target" "$fuzz_dir/corpus/$target" >>"$log" 2>&1; then
    status=ok
  else
    status="FINDING in $build/findings/$target (see $log)"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  echo "$target: ${runs:-?} executions in $(( $(date +%s) - start )) s, $status"
  if [ "$status" = ok ]; then
    junit_case "$target"
  else
    junit_case "$target" "$status"
    exit 1
  fi
  exit
fi

seconds=${1:-20}
[ $# -gt 0 ] && shift
targets=${*:-fuzz_scan_message fuzz_log_stream}
for target in $targets; do
  [ -x "$build/bin/$target" ] || { echo "fuzz: no $target; run scripts/build.sh fuzz" >&2; exit 2; }
done
# A symbolizer makes the reports readable, where the machine has one.
for symbolizer in /usr/lib/llvm-14/bin/llvm-symbolizer /usr/bin/llvm-symbolizer-14; do
  if [ -x "$symbolizer" ]; then
    export ASAN_SYMBOLIZER_PATH="$symbolizer"
    break
  fi
done
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
printf '%s\n' $targets | xargs -P 2 -I '{}' "$0" --one '{}' "$seconds"
