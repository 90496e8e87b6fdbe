"""./run-tests' summary (scripts/stages.sh): each stage's result from its
status; its test cases counted from the JUnit files of CTest, of the pytest
files that CTest runs and of the fuzz runs, with the skipped ones apart and
their reasons; what the stage fetched from Debian."""

import re
import subprocess
import sys
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
SAMPLES = SOURCE / "tests" / "harness" / "samples"

# Two pytest files as tests/CMakeLists.txt runs them, one partly and one
# wholly skipped, and an entry that fails without a word of JUnit.
CTEST_PROJECT = f"""cmake_minimum_required(VERSION 3.16)
project(sample NONE)
enable_testing()
foreach(name some_skipped all_skipped)
  add_test(NAME sample.${{name}}
           COMMAND {sys.executable} -m pytest -q -p no:cacheprovider {SAMPLES}/test_${{name}}.py)
  set_tests_properties(sample.${{name}} PROPERTIES SKIP_RETURN_CODE 77
                       ENVIRONMENT APSUITE_TEST_NAME=sample.${{name}})
endforeach()
add_test(NAME sample.crash COMMAND sh -c "kill -SEGV $$")
"""
FUZZ = """<testsuite><testcase classname="fuzz" name="fuzz_a"/>
<testcase classname="fuzz" name="fuzz_b"><failure message="FINDING in x"/></testcase></testsuite>
"""


def test_summary_counts_cases_and_lists_skip_reasons(tmp_path):
    (tmp_path / "project").mkdir()
    (tmp_path / "project" / "CMakeLists.txt").write_text(CTEST_PROJECT)
    subprocess.run(["cmake", "-S", tmp_path / "project", "-B", tmp_path / "build"], check=True,
                   capture_output=True, timeout=60)
    (tmp_path / "fuzz.xml").write_text(FUZZ)
    script = f""". scripts/stages.sh
ctest_stage() {{
  echo "busybox-static 1:1.37.0-6" >> "$APSUITE_RESULTS/versions"
  ctest --test-dir {tmp_path}/build --output-junit "$APSUITE_RESULTS/ctest.xml"
}}
stage "ctest stage" ctest_stage
stage "pytest alone" {sys.executable} -m pytest -q -p no:cacheprovider {SAMPLES}/test_all_skipped.py
stage "fuzz" sh -c 'cp {tmp_path}/fuzz.xml "$APSUITE_RESULTS"; exit 1'
stage "build" false
stage_summary
"""
    result = subprocess.run(["sh", "-c", script], cwd=SOURCE, capture_output=True, text=True,
                            timeout=120)
    assert "== Summary\n" in result.stdout, result.stdout + result.stderr
    summary = result.stdout.split("== Summary\n")[1].splitlines()
    assert result.returncode == 1
    # Name, result and time (whole seconds: a stage may cross into the next).
    stages = [line for line in summary if re.match(r"\S.* s  ", line)]
    assert [re.match(r"(.*?) +(\w+) +\d+ s  ", line).groups() for line in stages] == [
        ("ctest stage", "failed"), ("pytest alone", "skipped"), ("fuzz", "failed"),
        ("build", "failed")]
    # The cases of the pytest files in place of their CTest entries: a
    # partly skipped file is no pass.
    assert stages[0].endswith("  1 passed, 1 failed, 3 skipped")
    assert stages[1].endswith("  0 passed, 0 failed, 2 skipped")
    assert stages[2].endswith("  1 passed, 1 failed, 0 skipped")
    assert stages[3].endswith("  0 passed, 1 failed, 0 skipped")
    after_first = summary[summary.index(stages[0]) + 1]
    assert after_first == "    from Debian: busybox-static 1:1.37.0-6"
    rest = summary[summary.index(stages[3]) + 1:]
    assert rest == [
        "failed cases:",
        "  ctest stage: sample.crash",
        "  fuzz: fuzz.fuzz_b",
        "  build: the stage itself, before any case failed",
        "skipped cases:",
        "  ctest stage: 1 x cannot run here",
        "  ctest stage: 1 x case 1 cannot run here",
        "  ctest stage: 1 x case 2 cannot run here",
        "  pytest alone: 1 x case 1 cannot run here",
        "  pytest alone: 1 x case 2 cannot run here",
        # Last, so that it closes the output.
        "total: 2 passed, 3 failed, 5 skipped",
    ]
