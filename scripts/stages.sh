# Sourced by ./run-tests: runs the suite's stages one after another, each
# with its output shown as it comes, and keeps each one's result, time and
# test counts for a summary at the end.
#
#   stage NAME COMMAND [ARG...]   runs one stage: its status 0 is "passed",
#                                 77 "skipped" (tests/conftest.py), anything
#                                 else "failed"
#   stage_summary                 prints one line per stage and a closing
#                                 "N passed, N failed, N skipped" line; its
#                                 status is 1 when a stage failed
#
# The counts are read from the stage's output: CTest's closing lines (its
# skipped tests from the list of those that did not run), else pytest's,
# and one per fuzz target.
stage_dir=$(mktemp -d)
trap 'rm -rf "$stage_dir"' EXIT
stage_number=0

stage() {
  stage_name=$1
  shift
  stage_number=$((stage_number + 1))
  stage_log=$stage_dir/$stage_number.log
  echo "== $stage_name"
  stage_start=$(date +%s)
  # The command's own status, past the pipe into tee.
  { "$@" && echo 0 > "$stage_log.status" || echo $? > "$stage_log.status"; } 2>&1 | tee "$stage_log"
  case $(cat "$stage_log.status") in
    0)  stage_result=passed ;;
    77) stage_result=skipped ;;
    *)  stage_result=failed ;;
  esac
  printf '%s\t%s\t%s\t%s\n' "$stage_name" "$stage_result" "$(( $(date +%s) - stage_start ))" \
    "$(stage_counts "$stage_log")" >> "$stage_dir/summary"
}

# "passed failed skipped reason" of one stage's output.
stage_counts() {
  awk '
    /% tests passed, [0-9]+ tests? failed out of [0-9]+$/ { ctest = 1; total += $NF; cfailed += $4 }
    /^[ \t]*[0-9]+ - .* \(Skipped\)$/ { cskipped++ }
    /^=*[ ]*[0-9]+ (passed|failed|skipped|errors?)[ ,]/ {
      for (i = 1; i < NF; i++) {
        word = $(i + 1); sub(/,$/, "", word)
        if (word == "passed") passed += $i
        else if (word == "failed" || word ~ /^errors?$/) failed += $i
        else if (word == "skipped") skipped += $i
      }
    }
    /^fuzz_[a-z_]+: .* executions in / { if ($NF == "ok") passed++; else failed++ }
    /^SKIPPED \[[0-9]+\] / && reason == "" { reason = $0; sub(/^SKIPPED \[[0-9]+\] [^ ]*: /, "", reason) }
    END {
      if (ctest) { passed = total - cfailed - cskipped; failed = cfailed; skipped = cskipped }
      printf "%d %d %d %s", passed, failed, skipped, reason
    }' "$1"
}

stage_summary() {
  echo "== Summary"
  awk -F '\t' '
    {
      rows[NR] = $0
      if (length($1) > width) width = length($1)
    }
    END {
      for (i = 1; i <= NR; i++) {
        split(rows[i], f, "\t")
        split(f[4], n, " "); reason = f[4]; sub(/^[0-9]+ [0-9]+ [0-9]+ ?/, "", reason)
        tests = (n[1] + n[2] + n[3]) ? sprintf("%d passed, %d failed, %d skipped", n[1], n[2], n[3]) : ""
        printf "%-*s  %-7s %4d s  %s%s\n", width, f[1], f[2], f[3], tests,
               (f[2] == "skipped" && reason != "") ? (tests ? "; " : "") reason : ""
        passed += n[1]; failed += n[2]; skipped += n[3]
        if (f[2] == "failed") bad = 1
      }
      printf "total: %d passed, %d failed, %d skipped\n", passed, failed, skipped
      exit bad
    }' "$stage_dir/summary"
}
