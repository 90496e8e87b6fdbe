"""The whole system on the emulated access point, phase by phase.

Each phase's transcript (guest_init.sh) must equal expected/<phase>.txt
byte for byte; a difference is shown as a unified diff. In the expected
texts "{EINVAL}" and the like stand for the guest C library's strerror.
"""

import difflib
import errno
import re
from pathlib import Path

import pytest

EXPECTED = Path(__file__).resolve().parent / "expected"
RELOAD_QUIET_S = 10.0
# The guest's timer and the reload script's own start, under emulation.
RELOAD_SLACK_S = 3.0


def expected_text(phase, device):
    text = (EXPECTED / f"{phase}.txt").read_text()
    return re.sub(r"\{(E[A-Z0-9]+)\}", lambda m: device.errors[getattr(errno, m.group(1))], text)


def what_went_wrong(device):
    """The guest's failure and the last lines each process wrote before it."""
    lines = [device.failure or "no failure reported"]
    for name, text in sorted(device.texts.items()):
        if name.startswith("last-lines:") and text:
            lines.append(f"-- {name[len('last-lines:'):]}, last lines:\n{text.rstrip()}")
    return "\n".join(lines)


def difference(expected, actual, phase):
    return "".join(difflib.unified_diff(expected.splitlines(keepends=True),
                                        actual.splitlines(keepends=True),
                                        f"expected/{phase}.txt", f"the guest's {phase}"))


@pytest.mark.parametrize("phase", ["boot", "story", "load", "stop", "lost", "refused", "flood"])
def test_transcript(device, phase):
    """boot: the queue limits before and after sysctl.d and a full scan at each;
    story: log lines, scans, a burst of changes and its one reload;
    load: 1,000 full scans and 10,000 log lines, each output line counted;
    stop: stop signals; lost: the broker killed under the running daemons;
    refused: what the broker's ACLs refuse; flood: nobody fills the queue
    while a consumer subscribes and airsift is stopped."""
    actual = device.texts.get(phase)
    if actual is None:
        pytest.fail(f"the guest never reported its {phase}: {what_went_wrong(device)}",
                    pytrace=False)
    expected = expected_text(phase, device)
    if actual != expected:
        pytest.fail(f"the {phase} differs:\n{difference(expected, actual, phase)}", pytrace=False)


def test_one_reload_ten_seconds_after_the_last_change(device):
    delay = float(device.values.get("reload_delay", "nan"))
    assert RELOAD_QUIET_S <= delay < RELOAD_QUIET_S + RELOAD_SLACK_S, delay


def test_memory_of_each_daemon_at_rest_and_loaded(device):
    """Measured only; the figures go to the report."""
    for phase in ("rest", "loaded"):
        for program in ("airsift", "linetap", "confwatch"):
            rss, pss, own = device.memory.get((phase, program), (0, 0, 0))
            assert 0 < own <= pss <= rss, (phase, program)
