"""pinrig's GPIO scenarios as the guest runs them on the kernel's gpio-sim chips.

The host writes the scenarios as calls of guest_gpio.sh's functions
(scenario_script), the emulated access point runs them (tests/device), and
parse_steps reads the framed lines the guest printed for them.
"""

import re
import shlex
from dataclasses import dataclass
from pathlib import Path

HERE = Path(__file__).resolve().parent
GUEST_SCRIPT = HERE / "guest_gpio.sh"


@dataclass
class Step:
    """One pinrig run; `user` is root or the unprivileged "user"."""
    args: tuple
    user: str = "root"
    hold: int | None = None   # offset on chip 0 held by another process meanwhile


@dataclass
class Scenario:
    name: str
    steps: list
    prepare: tuple = ()       # guest functions run after the chips are built


@dataclass
class Observed:
    status: int
    stdout: str
    stderr: str
    events: list       # "<chip> <offset> requested|released|reconfigured ..."
    trace: list        # "<chip> <offset> direction out (0)", "<chip> <offset> set 1"
    opened: list       # chip nodes of /dev opened, in order ("gpiochip0")
    getopt: str        # the C library's getopt diagnostic for the same arguments
    values: dict       # chip index -> levels of its lines after the run, "0100..."


def scenario_script(chips, scenarios):
    """scenarios.sh for the guest: build_chips, then one block per scenario."""
    out = ["build_chips() {"] + [f"\t{shlex.join(map(str, call))}" for call in chips] + ["}"]
    for scenario in scenarios:
        out.append(f"scenario {shlex.quote(scenario.name)}")
        out += [shlex.join(map(str, call)) for call in scenario.prepare]
        for step in scenario.steps:
            hold = "-" if step.hold is None else str(step.hold)
            out.append(shlex.join(["step", step.user, hold, *step.args]))
    return "\n".join(out) + "\n"


def _text(field):
    assert field.startswith("x"), field
    return bytes.fromhex(field[1:]).decode()


_TRACE = re.compile(r"^(gpio_direction|gpio_value): +(\d+) +(.*)$")


def _chip_offset(number, bases):
    """The chip and offset of a global GPIO number, from the chips' bases."""
    chip = max((index for index, base in bases.items() if base <= number), key=bases.get)
    return chip, number - bases[chip]


def _trace_lines(text, bases):
    lines = []
    for entry in text.splitlines():
        m = _TRACE.match(entry)
        assert m, entry
        chip, offset = _chip_offset(int(m.group(2)), bases)
        kind = "direction " if m.group(1) == "gpio_direction" else ""
        lines.append(f"{chip} {offset} {kind}{' '.join(m.group(3).split())}")
    return lines


def parse_steps(frames):
    """The steps the guest reported: (scenario, step number) -> Observed.
    frames are the guest's "@@base" and "@@step" lines, split at blanks,
    without the "@@"."""
    steps, bases = {}, {}
    for kind, *fields in frames:
        if kind == "base":
            bases[int(fields[0])] = int(fields[1])
        elif kind == "step":
            name, number, status, out, err, events, trace, opened, getopt, *values = fields
            steps[name, int(number)] = Observed(
                int(status), _text(out), _text(err), _text(events).splitlines(),
                _trace_lines(_text(trace), bases), _text(opened).split(), _text(getopt),
                {int(v.split("=")[0]): v.split("=")[1] for v in values})
    return steps
