"""One boot of the emulated access point serves every test of this folder.

The report of the run (boot and run time, the daemons' memory, the queue
limits, how long the reload waited) goes to build-device/report.txt, which
scripts/test-device.sh prints.
"""

import sys
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "pinrig_kernel"))

import device_vm  # noqa: E402
import story  # noqa: E402
from pinrig_kernel_helpers import GUEST_SCRIPT, scenario_script  # noqa: E402
from pinrig_kernel_scenarios import CHIPS, SCENARIOS  # noqa: E402


@pytest.fixture(scope="session")
def device():
    if why := device_vm.missing():
        pytest.fail(why)
    work = device_vm.WORK
    work.mkdir(parents=True, exist_ok=True)
    scenarios = scenario_script(CHIPS, [s for s, _ in SCENARIOS.values()])
    image = device_vm.pack(work, (GUEST_SCRIPT, scenarios), story.files())
    machine = device_vm.boot(image, work / "console.log")
    (work / "report.txt").write_text(report(machine))
    return machine


def report(machine):
    values = machine.values
    out = [f"boot: {machine.boot_s:.1f} s to /init; the guest ran {machine.run_s:.1f} s",
           f"reload {values.get('reload_delay', '?')} s after the last change; GPIO scenarios "
           f"{values.get('gpio_scenarios_s', '?')} s; load: {story.LOAD_SCANS} scans "
           f"{values.get('load_scans_s', '?')} s, {story.LOAD_LINES} lines "
           f"{values.get('load_lines_s', '?')} s",
           f"flood: airsift stopped {values.get('flood_stop_s', '?')} s after SIGTERM, having "
           f"handled {values.get('flood_scans', '?')} scans",
           *device_vm.memory_table(machine)]
    if machine.failure:
        out.append(f"the guest failed: {machine.failure}")
    return "\n".join(out) + "\n"
