"""The suite runs the programs of the build it names: a target build's for
aarch64 under the emulator, with the broker and clients of its sysroot, or
the build host's own directly."""

import re
import shutil
import subprocess
import sys

import pytest

from sandbox import (DELIVERABLES, EMULATOR, TARGET_BUILD, UBUS, UBUSD, UCI, binary, emulated,
                     helper)

PLATFORM = {"ubusd": UBUSD, "ubus": UBUS, "uci": UCI}
AARCH64_LOADERS = ("/lib/ld-musl-aarch64.so.1", "/lib/ld-linux-aarch64.so.1")


def readelf(option, path):
    return subprocess.run(["readelf", option, path], capture_output=True, text=True,
                          check=True).stdout


def machine(path):
    return re.search(r"Machine:\s+(.+)", readelf("-h", path)).group(1).strip()


def interpreter(path):
    found = re.search(r"\[Requesting program interpreter: (.+?)\]", readelf("-l", path))
    return found and found.group(1)


def program(name):
    if name in PLATFORM:
        return shutil.which(PLATFORM[name]) or PLATFORM[name]
    return binary(name)


@pytest.mark.parametrize("name", [*DELIVERABLES, *PLATFORM])
def test_program_is_built_for_the_machine_under_test(name):
    path = program(name)
    if TARGET_BUILD:
        assert machine(path) == "AArch64"
        # The C library of the target build: the one its own helpers load.
        assert interpreter(path) in AARCH64_LOADERS
        assert interpreter(path) == interpreter(helper("libc_probe"))
        assert EMULATOR and emulated([path]) == [*EMULATOR, path]
    else:
        assert machine(path) == machine(sys.executable)
        assert not EMULATOR and emulated([path]) == [path]
