"""The demo on the emulated access point (./run-demo --device).

The image that the README's SDK commands installed boots Debian's arm64
kernel under qemu-system-aarch64 with the target platform, and runs the
system there as the device would (tests/device): the message queue limits,
the demo's story, the load, stop signals and the loss of the broker, with
pinrig's GPIO scenarios beside them. Each phase is shown as the guest
reports it, every line under the program that wrote it, then what was
measured.
"""

import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tests" / "device"))
sys.path.insert(0, str(REPO / "tests" / "pinrig_kernel"))

import device_vm  # noqa: E402
import story  # noqa: E402
from console import notification, plain  # noqa: E402
from pinrig_kernel_helpers import GUEST_SCRIPT, parse_steps, scenario_script  # noqa: E402
from pinrig_kernel_scenarios import CHIPS, SCENARIOS  # noqa: E402

PHASES = {
    "boot": "The kernel's message queue limits, a full scan posted before and after sysctl.d",
    "story": "The story: log lines, scans (one of 64 records), 3 changes and one reload",
    "load": f"{story.LOAD_SCANS} full scans and {story.LOAD_LINES} log lines, "
            "each line of output counted",
    "stop": "Stop signals",
    "lost": "The daemons again, one change announced, then the broker killed",
}


PROGRAMS = ("airsift", "linetap", "confwatch", "subscriber", "service", "ubusd", "reknit")


def show_phase(console, text):
    """A phase's transcript: "== <program> <stream>" sections with each line
    under the program's name; other sections are the guest's own."""
    label = "guest"
    for line in text.splitlines():
        if line.startswith("== "):
            title = line[3:]
            label = title.split(" ")[0] if title.split(" ")[0] in PROGRAMS else "guest"
            if label == "guest":
                console.say(f"   {title}")
            continue
        count, _, rest = line.partition(" ")
        if label == "subscriber" and count.isdigit():
            # The load's lines come counted: "<count> <line>".
            for shown in report(rest):
                console.show(label, f"{count} x {shown}")
        else:
            for shown in (report if label == "subscriber" else plain)(line):
                console.show(label, shown)


def report(line):
    """A subscriber's line, readable; the guest left airsift's time out."""
    return notification(line.replace('"timestamp":<ms>', '"timestamp":null'))


def run(console):
    """Boots the guest and shows what it reports; returns the exit status."""
    if why := device_vm.missing():
        console.say(f"demo: the emulated access point cannot run here: {why}")
        return 1
    work = device_vm.WORK
    work.mkdir(parents=True, exist_ok=True)
    console.say("\n== The installed image on an emulated access point: "
                f"kernel {(device_vm.VM / 'release').read_text().strip()}, "
                "qemu-system-aarch64 (TCG, virt, 2 cores, 256 MB)")
    scenarios = scenario_script(CHIPS, [s for s, _ in SCENARIOS.values()])
    image = device_vm.pack(work, (GUEST_SCRIPT, scenarios), story.files())

    shown = []

    def on_frame(kind, name, machine):
        if kind == "up":
            console.say(f"   /init runs, {machine.boot_s:.1f} s after qemu started")
        elif kind == "text" and name in PHASES:
            # The load fills the story's quiet ten seconds, so the story's
            # text comes after it: shown in the order things happened.
            ready = [name] if name != "load" or "story" in shown else []
            if name == "story" and "load" in machine.texts:
                ready.append("load")
            for phase in ready:
                console.say(f"\n== {PHASES[phase]}")
                show_phase(console, machine.texts[phase])
                shown.append(phase)
        elif kind == "fail":
            console.say(f"demo: the guest failed: {machine.failure}")

    machine = device_vm.boot(image, work / "console.log", on_frame)
    steps = parse_steps(machine.gpio_frames)
    console.say(f"\n== pinrig beside it, on gpio-sim chips: {len(steps)} runs in "
                f"{len(SCENARIOS)} scenarios, {machine.values.get('gpio_scenarios_s', '?')} s")
    console.say("\n== Measured")
    console.say(f"   reload {machine.values.get('reload_delay', '?')} s after the last change")
    for line in device_vm.memory_table(machine):
        console.say(f"   {line}")
    console.say(f"   the guest ran {machine.run_s:.1f} s; its console: {work / 'console.log'}")
    return 0 if machine.done else 1
