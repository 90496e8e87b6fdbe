"""The production pinrig on real gpio-sim chips, in a small virtual machine.

The host writes the scenarios as calls of guest_init.sh's functions, packs an
initramfs (busybox, the trixie loader, libc and libgpiod, pinrig, the
watcher and libc_probe), boots the backports kernel under qemu once and
parses the framed lines the guest prints. What is fetched lives in
deps/gpio-vm (scripts/fetch-gpio-vm.sh).
"""

import os
import re
import shlex
import shutil
import subprocess
from dataclasses import dataclass
from pathlib import Path

from sandbox import BIN, HELPERS

HERE = Path(__file__).resolve().parent
ROOT = HERE.parents[1]
VM = Path(os.environ.get("APSUITE_GPIO_VM", ROOT / "deps" / "gpio-vm"))
BOOT_TIMEOUT = 420  # about a minute normally, under TCG


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


@dataclass
class Machine:
    errors: dict       # errno -> strerror text of the guest's C library
    steps: dict        # (scenario, step number) -> Observed
    console: str
    exit_status: int
    failure: str       # what stopped the guest early, or ""


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


def pack_initramfs(workdir, script):
    root = workdir / "root"
    for folder in ("bin", "etc", "modules", "lib64", "lib/x86_64-linux-gnu", "proc", "sys",
                   "dev", "tmp"):
        (root / folder).mkdir(parents=True, exist_ok=True)
    shutil.copy("/bin/busybox", root / "bin")
    for program in (BIN / "pinrig", BIN / "gpio-watch", HELPERS / "libc_probe"):
        shutil.copy(program, root / "bin")
    for module in ("configfs.ko", "gpio-sim.ko"):
        shutil.copy(VM / module, root / "modules")
    for library in (VM / "lib").iterdir():
        shutil.copy(library, root / "lib/x86_64-linux-gnu")
    os.symlink("/lib/x86_64-linux-gnu/ld-linux-x86-64.so.2", root / "lib64/ld-linux-x86-64.so.2")
    shutil.copy(HERE / "guest_init.sh", root / "init")
    (root / "init").chmod(0o755)
    (root / "scenarios.sh").write_text(script)
    (root / "etc/passwd").write_text("root:x:0:0:root:/:/bin/sh\n"
                                     "user:x:1000:1000:user:/tmp:/bin/sh\n")
    (root / "etc/group").write_text("root:x:0:\nuser:x:1000:\n")
    files = subprocess.run(["find", "."], cwd=root, capture_output=True, check=True).stdout
    image = workdir / "initramfs.cpio"
    with open(image, "wb") as out:
        subprocess.run(["cpio", "-o", "-H", "newc", "--quiet"], cwd=root, input=files,
                       stdout=out, check=True)
    return image


def boot(workdir, chips, scenarios):
    image = pack_initramfs(workdir, scenario_script(chips, scenarios))
    command = ["nice", "-n", "19", "qemu-system-x86_64", "-machine", "accel=tcg", "-smp", "1",
               "-m", "128M", "-nographic", "-no-reboot", "-nic", "none",
               "-device", "isa-debug-exit,iobase=0xf4,iosize=0x04",
               "-kernel", str(VM / "vmlinuz"), "-initrd", str(image),
               "-append", "console=ttyS0 quiet loglevel=1 panic=-1"]
    run = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True,
                         timeout=BOOT_TIMEOUT)
    console = run.stdout.decode(errors="replace").replace("\r", "")
    (workdir / "console.log").write_text(console)
    return parse_console(console, run.returncode)


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


def parse_console(console, exit_status):
    errors, steps, bases, failure = {}, {}, {}, ""
    for line in console.splitlines():
        # The firmware's terminal codes may precede the first frame.
        if "@@" not in line:
            continue
        kind, *fields = line[line.index("@@") + 2:].split(" ")
        if kind == "errno":
            for entry in _text(fields[0]).splitlines():
                number, text = entry.split(" ", 1)
                errors[int(number)] = text
        elif kind == "fail":
            failure = " ".join(fields)
        elif kind == "base":
            bases[int(fields[0])] = int(fields[1])
        elif kind == "step":
            name, number, status, out, err, events, trace, opened, getopt, *values = fields
            steps[name, int(number)] = Observed(
                int(status), _text(out), _text(err), _text(events).splitlines(),
                _trace_lines(_text(trace), bases), _text(opened).split(), _text(getopt),
                {int(v.split("=")[0]): v.split("=")[1] for v in values})
    return Machine(errors, steps, console, exit_status, failure)


def machine_missing():
    """Why this machine cannot boot the guest, or None."""
    if not shutil.which("qemu-system-x86_64"):
        return "qemu-system-x86_64 is not installed (scripts/setup.sh)"
    if not (VM / "complete").exists():
        return f"{VM} is not fetched (scripts/fetch-gpio-vm.sh)"
    missing = [str(p) for p in (BIN / "pinrig", BIN / "gpio-watch", HELPERS / "libc_probe")
               if not p.exists()]
    if missing:
        return f"not built: {' '.join(missing)}"
    return None
