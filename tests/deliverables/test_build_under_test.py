"""The suite runs the programs of the build it names: a target build's for
aarch64 with musl under the emulator, the build host's own directly."""

import re
import subprocess
import sys

import pytest

from sandbox import DELIVERABLES, EMULATOR, TARGET_BUILD, binary


def readelf(option, path):
    return subprocess.run(["readelf", option, path], capture_output=True, text=True,
                          check=True).stdout


def machine(path):
    return re.search(r"Machine:\s+(.+)", readelf("-h", path)).group(1).strip()


@pytest.mark.parametrize("name", DELIVERABLES)
def test_deliverable_is_built_for_the_machine_under_test(name):
    program = binary(name)
    if TARGET_BUILD:
        assert machine(program) == "AArch64"
        assert "[Requesting program interpreter: /lib/ld-musl-aarch64.so.1]" in readelf("-l", program)
        assert EMULATOR
    else:
        assert machine(program) == machine(sys.executable)
        assert not EMULATOR
