import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).parent / "harness"))

from sandbox import Sandbox  # noqa: E402


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
