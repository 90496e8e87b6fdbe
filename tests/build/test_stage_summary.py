"""./run-tests' summary (scripts/stages.sh): each stage's result from its
status, its counts from what CTest, pytest or the fuzz runs print, and a
skipped stage's reason."""

import re
import subprocess
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]

CTEST = r"""
printf '%s\n' '2 passed, 1 skipped in 0.45s' '100% tests passed, 0 tests failed out of 28' \
  'The following tests did not run:' '	 63 - pinrig.configure (Skipped)' \
  '	 64 - pinrig.failures (Skipped)'
"""
PYTEST_SKIPPED = r"""
printf '%s\n' 'SKIPPED [1] tests/k.py:24: NOT RUN: the guest is x86_64' '1 skipped in 0.01s'
exit 77
"""
FUZZ = r"""
printf '%s\n' 'fuzz_a: 100 executions in 20 s, ok' 'fuzz_b: 7 executions in 20 s, FINDING in x'
exit 1
"""


def test_summary_gives_each_stage_and_the_totals(tmp_path):
    for name, text in (("ctest", CTEST), ("kernel", PYTEST_SKIPPED), ("fuzz", FUZZ)):
        (tmp_path / name).write_text(text)
    script = f""". scripts/stages.sh
stage "ctest stage" sh {tmp_path}/ctest
stage "kernel" sh {tmp_path}/kernel
stage "fuzz" sh {tmp_path}/fuzz
stage_summary
"""
    result = subprocess.run(["sh", "-c", script], cwd=SOURCE, capture_output=True, text=True,
                            timeout=60)
    assert "== Summary\n" in result.stdout, result.stdout + result.stderr
    summary = result.stdout.split("== Summary\n")[1].splitlines()
    assert result.returncode == 1
    # Name, result and time (whole seconds: a stage may cross into the next).
    assert [re.match(r"(.*?) +(\w+) +\d+ s  ", line).groups() for line in summary[:3]] == [
        ("ctest stage", "passed"), ("kernel", "skipped"), ("fuzz", "failed")]
    # CTest's counts, not those of the pytest runs it shows.
    assert summary[0].endswith("26 passed, 0 failed, 2 skipped")
    assert summary[1].endswith("0 passed, 0 failed, 1 skipped; NOT RUN: the guest is x86_64")
    assert summary[2].endswith("1 passed, 1 failed, 0 skipped")
    assert summary[3] == "total: 27 passed, 1 failed, 3 skipped"
