"""The production pinrig with the real libgpiod on the kernel's gpio-sim chips.

One virtual machine runs every scenario (pinrig_kernel_helpers.py); each
step is checked for pinrig's status, stdout and stderr byte for byte, and for
what the kernel saw: the chip devices opened, the line-info events (requested
and released, with direction and active-low), the levels the kernel traced
as written, and the levels the lines fell back to once released.

The scenarios are in pinrig_kernel_scenarios.py. Error texts come from the
guest's C library.
"""

import errno
import platform

import pytest
from pinrig_kernel_helpers import boot, machine_missing
from pinrig_kernel_scenarios import AT_REST, CHIPS, ERROR_NAMES, SCENARIOS


@pytest.fixture(scope="module")
def machine(tmp_path_factory):
    if platform.machine() != "x86_64":
        pytest.skip(f"NOT RUN: the guest machine is x86_64 and this host is {platform.machine()}, "
                    "so the host's pinrig cannot run in it")
    if why := machine_missing():
        pytest.fail(why)
    scenarios = [s for s, _ in SCENARIOS.values()]
    result = boot(tmp_path_factory.mktemp("gpio-vm"), CHIPS, scenarios)
    # isa-debug-exit turns the guest's 0 into qemu's 1.
    assert (result.exit_status, result.failure) == (1, ""), result.console
    return result


def expand(text, machine, observed):
    names = {name: machine.errors[getattr(errno, name)] for name in ERROR_NAMES}
    return text.format(getopt=observed.getopt, **names)


@pytest.mark.parametrize("name", SCENARIOS)
def test_scenario(machine, name):
    _, runs = SCENARIOS[name]
    for number, run in enumerate(runs, 1):
        observed = machine.steps.get((name, number))
        assert observed, f"step {number} of {name} never reported"
        step = f"step {number}: pinrig {' '.join(run.args)}"
        assert (observed.status, observed.stdout, observed.stderr) == (
            run.status, expand(run.stdout, machine, observed),
            expand(run.stderr, machine, observed)), step
        assert observed.opened == run.opened, step
        assert observed.events == run.events, step
        assert observed.trace == run.trace, step
        assert observed.values == AT_REST, step
