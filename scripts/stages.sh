# Sourced, from the top of the tree, by ./run-tests: runs the suite's stages
# one after another, each with its output shown as it comes, and keeps each
# one's result, time and test results for a summary at the end.
#
#   stage NAME COMMAND [ARG...]   runs one stage: its status 0 is "passed",
#                                 77 "skipped" (tests/conftest.py), anything
#                                 else "failed"
#   stage_summary                 prints one line per stage, the reasons of
#                                 the skipped cases, and a closing
#                                 "N passed, N failed, N skipped" line; its
#                                 status is 1 when a stage failed
#
# A stage's command leaves its results in the folder APSUITE_RESULTS names,
# which scripts/stage_summary.py reads: JUnit files of CTest
# (ctest --output-junit), of pytest (tests/conftest.py) and of the fuzz runs
# (scripts/fuzz.sh), and a file "versions" of what was fetched from Debian
# for it (scripts/private-apt.sh).
stage_dir=$(mktemp -d)
trap 'rm -rf "$stage_dir"' EXIT
stage_number=0

stage() {
  stage_name=$1
  shift
  stage_number=$((stage_number + 1))
  echo "== $stage_name"
  stage_start=$(date +%s)
  APSUITE_RESULTS=$stage_dir/$stage_number
  mkdir "$APSUITE_RESULTS"
  export APSUITE_RESULTS
  stage_status=0
  "$@" || stage_status=$?
  unset APSUITE_RESULTS
  case $stage_status in
    0)  stage_result=passed ;;
    77) stage_result=skipped ;;
    *)  stage_result=failed ;;
  esac
  printf '%s\t%s\t%s\t%s\n' "$stage_name" "$stage_result" "$(( $(date +%s) - stage_start ))" \
    "$stage_dir/$stage_number" >> "$stage_dir/stages"
}

stage_summary() {
  echo "== Summary"
  /usr/bin/python3 scripts/stage_summary.py "$stage_dir/stages"
}
