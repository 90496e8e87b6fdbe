"""pinrig-sim over simulated chips: describe the chips, run, read the trace;
and the production pinrig with no chip at all.

The trace format is described in tools/gpiosim/README.md. The simulated
libgpiod is built for the build host only, so a target suite runs only the
production pinrig.
"""

import json
import os
import re
import subprocess
from dataclasses import dataclass, field

import errno

import libc
import pytest
from sandbox import DEFAULT_TIMEOUT, TARGET_BUILD, binary

USAGE = "Usage: pinrig -g <gpio_name> -d <direction> [-v <value>] [-a <active_low>]\n"
ACTION = "At least one of -d <direction>, -v <value>, or -a <active_low> must be specified.\n"
OPTSTRING = "g:d:v:a:"


def chip_open_error(number=errno.ENOENT):
    return f"Error opening gpiochip: {libc.strerror(number)}\n"


def not_found(name):
    """What pinrig prints when neither chip can be opened."""
    return chip_open_error() * 2 + f"Error: GPIO line {name} not found on any gpiochip\n"


def line(name, direction="input", value=0, active_low=False, pull="down", consumer=""):
    return {"name": name, "direction": direction, "value": value, "active_low": active_low,
            "pull": pull, "consumer": consumer}


@dataclass
class Run:
    argv0: str
    status: int
    stdout: str
    stderr: str
    calls: list = field(default_factory=list)   # libgpiod calls, leaks and misuse
    lines: list = field(default_factory=list)   # the lines as their request left them
    rests: list = field(default_factory=list)   # the lines touched, once released


class Gpio:
    def __init__(self, tmp_path):
        self._dir = tmp_path
        self._chips = {}
        self._fail = {}

    def chip(self, index, *lines, open_errno=None):
        chip = {"lines": list(lines)}
        if open_errno is not None:
            chip["open_errno"] = open_errno
        self._chips[f"/dev/gpiochip{index}"] = chip

    def fail(self, call, error):
        self._fail[call] = error

    def run(self, *args):
        description = self._dir / "chips.json"
        trace = self._dir / "trace"
        description.write_text(json.dumps({"chips": self._chips, "fail": self._fail}))
        trace.unlink(missing_ok=True)
        exe = binary("pinrig-sim")
        result = subprocess.run(
            [exe, *args], capture_output=True, text=True, timeout=DEFAULT_TIMEOUT,
            env=dict(os.environ, GPIOSIM_CHIPS=str(description), GPIOSIM_TRACE=str(trace)))
        entries = trace.read_text().splitlines() if trace.exists() else []
        run = Run(exe, result.returncode, result.stdout, result.stderr,
                  [e for e in entries if not e.startswith(("line ", "rest "))],
                  [e for e in entries if e.startswith("line ")],
                  [e for e in entries if e.startswith("rest ")])
        assert_released_newest_first(run.calls)
        return run


_CREATED = re.compile(r" -> ((?:chip|config|settings|request)#\d+)$")
_RELEASED = re.compile(r"^gpiod_(?:chip_close|line_config_free|line_settings_free|"
                       r"line_request_release) (\S+)$")


def assert_released_newest_first(calls):
    """Every object is released exactly once, always the newest one still held."""
    held = []
    for call in calls:
        assert not call.startswith(("leak ", "misuse ")), calls
        if m := _CREATED.search(call):
            held.append(m.group(1))
        elif m := _RELEASED.match(call):
            assert held and held[-1] == m.group(1), f"{call} while holding {held}: {calls}"
            held.pop()
    assert not held, f"never released: {held}"


@pytest.fixture
def gpio(tmp_path):
    if TARGET_BUILD:
        pytest.skip("the simulated libgpiod runs on the build host only")
    return Gpio(tmp_path)


class NoChips:
    """The production pinrig in a sandbox whose /dev is empty."""

    def __init__(self, sandbox):
        self._sandbox = sandbox
        self.argv0 = binary("pinrig")
        sandbox.run(["mount", "-t", "tmpfs", "-o", "mode=0755", "nodev", "/dev"], check=True)
        listing = sandbox.run(["ls", "-A", "/dev"], capture_output=True, text=True)
        assert listing.stdout == ""

    def run(self, *args):
        result = self._sandbox.run([self.argv0, *args], capture_output=True, text=True)
        return Run(self.argv0, result.returncode, result.stdout, result.stderr)


@pytest.fixture
def no_chips(sandbox):
    return NoChips(sandbox)
