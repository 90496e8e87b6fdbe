"""pinrig-sim over simulated chips: describe the chips, run, read the trace.

The trace format is described in tools/gpiosim/README.md.
"""

import json
import os
import re
import subprocess
from dataclasses import dataclass, field

import pytest
from sandbox import DEFAULT_TIMEOUT, binary

USAGE = "Usage: pinrig -g <gpio_name> -d <direction> [-v <value>] [-a <active_low>]\n"
ACTION = "At least one of -d <direction>, -v <value>, or -a <active_low> must be specified.\n"


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
    return Gpio(tmp_path)
