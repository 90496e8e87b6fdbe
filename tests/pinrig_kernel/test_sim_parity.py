"""pinrig-sim on the scenarios of the kernel GPIO stage: the simulated chips
of the fast tests must give what the kernel's gpio-sim chips gave.

The chips, the changes to /dev, the unprivileged user and the second holder
of a line become a chip description (tools/gpiosim/README.md); a line's
state after one run is carried into the next. Each run must give the same
status and texts, open the same chips, request the lines with the same
direction and active-low, leave the same levels written and the same levels
at rest.
"""

import copy
import errno
import json
import os
import re
import subprocess

import libc
import pytest
from pinrig_kernel_scenarios import AT_REST, CHIPS, ERROR_NAMES, SCENARIOS
from sandbox import DEFAULT_TIMEOUT, TARGET_BUILD, binary

_OPENED = re.compile(r"^gpiod_chip_open /dev/(gpiochip\d) -> chip#\d+$")
_LINE = re.compile(r"^(?:line|rest) /dev/gpiochip(\d) (\d+) (input|output) "
                   r"active_low=(true|false) value=(active|inactive)$")
_REQUESTED = re.compile(r"^(\d) (\d+) requested (input|output) active_low=(\d) ")
_SET = re.compile(r"^(\d) (\d+) set (\d)$")
# What the kernel refuses to open, as the description says it.
_OPEN_ERRORS = {"fake_chip": errno.ENODEV, "file_chip": errno.ENOTTY}


def board():
    """The chips of the stage as a description: path -> {"lines": [...]}."""
    chips = {}
    for call, index, *args in CHIPS:
        if call == "new_chip":
            chips[index] = {"lines": [{"name": name} for name in args]}
        elif call == "hog_line":
            offset, direction = args
            chips[index]["lines"][offset].update(
                consumer="kernel-hog", direction=direction.split("-")[0],
                value=int(direction == "output-high"))
        elif call == "set_pull":
            offset, pull = args
            # An input reads its pull.
            chips[index]["lines"][offset].update(pull=pull.removeprefix("pull-"),
                                                 value=int(pull == "pull-up"))
    return chips


def description(chips, prepare, step):
    """The chips as one run of `step` finds them."""
    chips = copy.deepcopy(chips)
    opened_to_all = set()
    for call, index in prepare:
        if call == "hide_chip":
            del chips[index]
        elif call == "open_chip":
            opened_to_all.add(index)
        else:
            chips[index]["open_errno"] = _OPEN_ERRORS[call]
    if step.user != "root":
        for index, chip in chips.items():
            if index not in opened_to_all:
                chip.setdefault("open_errno", errno.EACCES)
    if step.hold is not None:
        chips[0]["lines"][step.hold]["consumer"] = "holder"
    return {"chips": {f"/dev/gpiochip{index}": chip for index, chip in chips.items()}}


def run_sim(tmp_path, chips, args):
    (tmp_path / "chips.json").write_text(json.dumps(chips))
    trace = tmp_path / "trace"
    trace.unlink(missing_ok=True)
    exe = binary("pinrig-sim")
    result = subprocess.run(
        [exe, *args], capture_output=True, text=True, timeout=DEFAULT_TIMEOUT,
        env=dict(os.environ, GPIOSIM_CHIPS=str(tmp_path / "chips.json"),
                 GPIOSIM_TRACE=str(trace)))
    return exe, result, trace.read_text().splitlines() if trace.exists() else []


def level(active, active_low):
    return int((active == "active") != (active_low == "true"))


@pytest.mark.skipif(bool(TARGET_BUILD), reason="the simulated libgpiod runs on the build host only")
@pytest.mark.parametrize("name", SCENARIOS)
def test_simulation_gives_what_the_kernel_gave(tmp_path, name):
    scenario, runs = SCENARIOS[name]
    chips = board()
    for number, (step, run) in enumerate(zip(scenario.steps, runs), 1):
        chips_now = description(chips, scenario.prepare, step)
        exe, result, trace = run_sim(tmp_path, chips_now, step.args)
        texts = {n: libc.strerror(getattr(errno, n)) for n in ERROR_NAMES}
        texts["getopt"] = libc.getopt("g:d:v:a:", exe, *step.args).diagnostics
        where = f"step {number}: pinrig {' '.join(step.args)}"
        assert (result.returncode, result.stdout, result.stderr) == (
            run.status, run.stdout.format(**texts), run.stderr.format(**texts)), where
        assert [m.group(1) for m in map(_OPENED.match, trace) if m] == run.opened, where

        held = [_LINE.match(e).groups() for e in trace if e.startswith("line ")]
        requested = [m.groups() for m in map(_REQUESTED.match, run.events) if m]
        assert [(c, o, d, str(int(a == "true"))) for c, o, d, a, _ in held] == requested, where
        # The level the kernel traced last for a line is the one it was left at.
        written = {m.group(1, 2): int(m.group(3)) for m in map(_SET.match, run.trace) if m}
        left = {(c, o): level(v, a) for c, o, d, a, v in held if (c, o) in written}
        assert left == written, where

        rests = [_LINE.match(e).groups() for e in trace if e.startswith("rest ")]
        assert [(c, o) for c, o, *_ in rests] == [(c, o) for c, o, *_ in held], where
        for chip, offset, direction, active_low, value in rests:
            assert level(value, active_low) == int(AT_REST[int(chip)][int(offset)]), where
            # The next run finds the line as this one left it.
            chips[int(chip)]["lines"][int(offset)].update(
                direction=direction, active_low=active_low == "true", value=int(value == "active"))
