"""A test file whose every test was skipped ends with the status CTest
counts as skipped, so a suite that ran nothing does not read as passed."""

import subprocess
import sys
from pathlib import Path

import pytest
from conftest import ALL_SKIPPED_STATUS

SAMPLES = Path(__file__).parent / "samples"


@pytest.mark.parametrize("sample, status", [
    ("test_all_skipped.py", ALL_SKIPPED_STATUS),
    ("test_some_skipped.py", 0),
])
def test_status_of_a_run(sample, status):
    result = subprocess.run([sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider",
                             str(SAMPLES / sample)], capture_output=True, text=True, timeout=60)
    assert result.returncode == status, result.stdout
