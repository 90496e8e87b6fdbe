import os
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).parent / "harness"))

from sandbox import Sandbox  # noqa: E402

# The status of a run whose every test was skipped: CTest reports such a
# file as skipped (SKIP_RETURN_CODE in tests/CMakeLists.txt), not as passed.
ALL_SKIPPED_STATUS = 77
_outcomes = {"passed": 0, "skipped": 0}


@pytest.hookimpl(tryfirst=True)
def pytest_configure(config):
    """In a stage of ./run-tests (scripts/stages.sh) the run leaves its
    cases as JUnit, named after the CTest entry that runs it, for the stage's
    summary. What a test runs in turn leaves none: it is no case of the stage."""
    results = os.environ.pop("APSUITE_RESULTS", None)
    if results and not config.option.xmlpath:
        name = os.environ.get("APSUITE_TEST_NAME") or f"pytest-{os.getpid()}"
        config.option.xmlpath = os.path.join(results, "pytest", f"{name}.xml")


def pytest_runtest_logreport(report):
    if report.skipped:
        _outcomes["skipped"] += 1
    elif report.when == "call" and report.passed:
        _outcomes["passed"] += 1


def pytest_sessionfinish(session, exitstatus):
    if exitstatus == pytest.ExitCode.OK and _outcomes["skipped"] and not _outcomes["passed"]:
        session.exitstatus = ALL_SKIPPED_STATUS


@pytest.fixture
def sandbox(tmp_path):
    """An isolated namespace with empty bus folder, configuration and /sbin."""
    with Sandbox(tmp_path / "sandbox") as sb:
        yield sb


@pytest.fixture
def bus(sandbox):
    """A sandbox with the bus broker running."""
    sandbox.broker = sandbox.start_broker()
    return sandbox
