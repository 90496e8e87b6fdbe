"""The image's pinrig, on the target's musl libgpiod, on the kernel's gpio-sim chips.

The emulated access point runs every scenario of
tests/pinrig_kernel/pinrig_kernel_scenarios.py; each step is checked for
pinrig's status, stdout and stderr byte for byte, and for what the kernel
saw: the chip devices opened, the line-info events (requested and
released, with direction and active-low), the levels the kernel traced as
written, and the levels the lines fell back to once released. Error texts
come from the guest's C library.
"""

import errno

import pytest
from pinrig_kernel_helpers import parse_steps
from pinrig_kernel_scenarios import AT_REST, ERROR_NAMES, SCENARIOS


@pytest.fixture(scope="module")
def steps(device):
    return parse_steps(device.gpio_frames)


def expand(text, device, observed):
    names = {name: device.errors[getattr(errno, name)] for name in ERROR_NAMES}
    return text.format(getopt=observed.getopt, **names)


@pytest.mark.parametrize("name", SCENARIOS)
def test_scenario(device, steps, name):
    _, runs = SCENARIOS[name]
    for number, run in enumerate(runs, 1):
        observed = steps.get((name, number))
        assert observed, f"step {number} of {name} never reported: {device.failure}"
        step = f"step {number}: pinrig {' '.join(run.args)}"
        assert (observed.status, observed.stdout, observed.stderr) == (
            run.status, expand(run.stdout, device, observed),
            expand(run.stderr, device, observed)), step
        assert observed.opened == run.opened, step
        assert observed.events == run.events, step
        assert observed.trace == run.trace, step
        assert observed.values == AT_REST, step
