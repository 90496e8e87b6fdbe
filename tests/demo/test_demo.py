"""The main job in its short form: everything works together, then is gone."""

import re
import subprocess

import pytest
from demo_output import COMMAND, PROCESSES, exit_statuses, sandbox_root, summary
from sandbox import SANITIZED

# What the sample data must give: every scan is on a configured interface,
# two of the seven log lines are above min_severity, one burst of changes.
EXPECTED = {"scans reported": "3", "lines accepted": "5 (published: 5)",
            "lines rejected": "2", "reloads run": "1 (changes announced: 3)"}


@pytest.fixture(scope="module")
def run():
    return subprocess.run(COMMAND, capture_output=True, text=True,
                          timeout=240 if SANITIZED else 120)


def test_ends_well_with_the_expected_counts(run):
    assert run.returncode == 0, run.stdout[-4000:] + run.stderr
    assert run.stderr == ""
    found = summary(run.stdout)
    assert {key: found.get(key) for key in EXPECTED} == EXPECTED
    assert exit_statuses(found) == dict.fromkeys(PROCESSES, "0")


def test_each_program_speaks_under_its_name(run):
    labels = set(re.findall(r"^ *([a-z]+) \| ", run.stdout, re.M))
    assert {"airsift", "linetap", "confwatch", "service", "subscriber", "pinrig"} <= labels
    assert re.search(r"^ *confwatch \| reknit: reloading services \(run 1\)$", run.stdout, re.M)
    assert re.search(r"^subscriber \| syslog +\[no stamp\] ", run.stdout, re.M)
    assert re.search(r'^subscriber \| syslog +\[\d+\] .*\\"', run.stdout, re.M)


def test_leaves_nothing_behind(run):
    # Processes still inside at the end would have failed the run itself.
    assert not sandbox_root(run.stdout).exists()
    assert "everything stopped" in run.stdout
