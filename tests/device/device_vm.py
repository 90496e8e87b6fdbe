"""The emulated access point: the installed image booted on an arm64 kernel.

pack() lays out the guest's root: the tree `cmake --install` put into the
image (DESTDIR), the target platform from the SDK's sysroot (ubusd, ubus,
uci, and every library the programs need, the musl loader among them, into
/usr/lib where the device's loader looks), Debian's static arm64 busybox, the
helpers built with the deliverables (tests/helpers), gpio-sim and configfs,
the story's files (story.py), pinrig's GPIO scenarios and /init
(guest_init.sh). Every program in it must be arm64: nothing of the build
host's own architecture goes in.

boot() runs it under qemu-system-aarch64 (TCG, machine virt) and reads the
frames /init writes on the serial console into a Machine.
"""

import os
import shutil
import stat
import struct
import subprocess
import tempfile
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parents[1]


def _path(variable, default):
    return Path(os.environ.get(variable) or default).resolve()


VM = _path("APSUITE_DEVICE_VM", ROOT / "deps" / "device-vm")
IMAGE = _path("APSUITE_DEVICE_IMAGE", ROOT / "build-sdk" / "image")
SYSROOT = _path("APSUITE_DEVICE_SYSROOT", ROOT / "deps" / "aarch64-musl" / "sysroot")
HELPERS = _path("APSUITE_DEVICE_HELPERS", ROOT / "build-target" / "test-helpers")
WORK = _path("APSUITE_DEVICE_WORK", ROOT / "build-device")

PLATFORM_PROGRAMS = ("usr/sbin/ubusd", "usr/bin/ubus", "usr/bin/uci")
GUEST_HELPERS = ("service-stub", "scan-send", "gpio-watch", "libc_probe")
MODULES = ("configfs.ko", "gpio-sim.ko")
# Where the sysroot keeps libraries, multiarch folders included.
LIBRARY_DIRS = ("usr/lib", "lib", "usr/lib/aarch64-linux-musl", "lib/aarch64-linux-musl",
                "usr/lib/aarch64-linux-gnu", "lib/aarch64-linux-gnu")
# musl's loader is its libc: a program's need of libc.so is the loader itself.
LOADER = "lib/ld-musl-aarch64.so.1"
LIBC = "libc.so"
EM_AARCH64 = 183
# Debian's lddtree (pax-utils) on Debian's Python, which has the pyelftools
# it needs, whatever python3 comes first in PATH.
LDDTREE = ("/usr/bin/python3", "/usr/bin/lddtree")

BOOT_TIMEOUT = 600     # the run takes half a minute on 2 idle cores


def missing():
    """Why the guest cannot be built here, or None."""
    if not shutil.which("qemu-system-aarch64"):
        return "qemu-system-aarch64 is not installed (scripts/setup.sh)"
    if not (VM / "versions").exists():
        return f"{VM} is not fetched (scripts/fetch-device-vm.sh)"
    if not os.path.exists(LDDTREE[1]):
        return "lddtree is not installed (scripts/setup.sh: pax-utils)"
    wanted = [IMAGE / "usr/sbin/airsift", SYSROOT / LOADER,
              *(SYSROOT / p for p in PLATFORM_PROGRAMS), *(HELPERS / h for h in GUEST_HELPERS)]
    absent = [str(p) for p in wanted if not os.path.lexists(p)]
    if absent:
        return ("not built: " + " ".join(absent) + " (scripts/build.sh target "
                "-DAPSUITE_TEST_HELPERS=ON, then scripts/build.sh sdk)")
    return None


# -- the root ------------------------------------------------------------------

def _elf_machine(path):
    """The ELF machine of a file, or None for a file that is not ELF."""
    with open(path, "rb") as f:
        head = f.read(20)
    if head[:4] != b"\x7fELF":
        return None
    return struct.unpack_from("<H", head, 18)[0]


def _in_sysroot(relative):
    """A sysroot path with its links resolved inside the sysroot."""
    path = SYSROOT / relative
    for _ in range(20):
        if not path.is_symlink():
            return path
        target = os.readlink(path)
        path = SYSROOT / target.lstrip("/") if target.startswith("/") else path.parent / target
    raise RuntimeError(f"link loop at {relative}")


def _copy(source, target, mode=None):
    target.parent.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(source, target)
    os.chmod(target, mode if mode is not None else stat.S_IMODE(os.stat(source).st_mode))


def _add_libraries(root):
    """Every library an ELF file of the root needs, from the sysroot into
    /usr/lib, as lddtree finds them. lddtree searches the folders of
    ld.so.conf and the loader's own; musl's loader also searches its
    library folders, which lddtree is told of through an ld.so.conf in a
    view of the sysroot."""
    programs = [str(p) for p in root.rglob("*")
                if p.is_file() and not p.is_symlink() and _elf_machine(p)]
    with tempfile.TemporaryDirectory() as view:
        for top in ("usr", "lib"):
            os.symlink(SYSROOT / top, Path(view) / top)
        os.mkdir(Path(view) / "etc")
        (Path(view) / "etc/ld.so.conf").write_text("".join(f"/{d}\n" for d in LIBRARY_DIRS))
        found = subprocess.run([*LDDTREE, "--list", "--no-auto-root", "--root", view, *programs],
                               capture_output=True, text=True, check=True).stdout.split()
        needed = [Path(p) for p in dict.fromkeys(found) if p not in programs]
        missing = [str(p) for p in needed if not p.is_absolute()]
        if missing:
            raise RuntimeError(f"not in the sysroot {SYSROOT}: {' '.join(missing)}")
        for library in needed:
            if library.name != LIBC and library != Path(view) / LOADER:
                _copy(library, root / "usr/lib" / library.name, 0o755)


def _foreign(root):
    """Files of the root that are ELF for another machine than arm64."""
    return [str(p.relative_to(root)) for p in root.rglob("*")
            if p.is_file() and not p.is_symlink() and _elf_machine(p) not in (None, EM_AARCH64)]


def pack(work, gpio_script, story_files):
    """The initramfs of the guest; returns its path."""
    root = work / "root"
    shutil.rmtree(root, ignore_errors=True)
    shutil.copytree(IMAGE, root, symlinks=True)
    for program in PLATFORM_PROGRAMS:
        _copy(_in_sysroot(program), root / program)
    _copy(_in_sysroot(LOADER), root / LOADER, 0o755)
    for name in GUEST_HELPERS:
        _copy(HELPERS / name, root / "usr/local/bin" / name)
    _add_libraries(root)
    _copy(VM / "busybox", root / "bin/busybox", 0o755)
    for module in MODULES:
        _copy(VM / module, root / "modules" / module)
    for folder in ("proc", "sys", "dev", "tmp", "var/run", "etc/sysctl.d"):
        (root / folder).mkdir(parents=True, exist_ok=True)
    _copy(HERE / "guest_init.sh", root / "init", 0o755)
    (root / "test").mkdir(exist_ok=True)
    _copy(gpio_script[0], root / "test/gpio.sh", 0o644)
    (root / "test/scenarios.sh").write_text(gpio_script[1])
    for path, (text, mode) in story_files.items():
        target = root / path
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_text(text)
        os.chmod(target, mode)
    foreign = _foreign(root)
    if foreign:
        raise RuntimeError(f"not arm64, so not for the guest: {' '.join(foreign)}")
    names = subprocess.run(["find", "."], cwd=root, capture_output=True, check=True).stdout
    image = work / "initramfs.cpio"
    with open(image, "wb") as out:
        subprocess.run(["cpio", "-o", "-H", "newc", "--quiet", "--owner", "0:0"], cwd=root,
                       input=names, stdout=out, check=True)
    return image


# -- the run -------------------------------------------------------------------

@dataclass
class Machine:
    errors: dict = field(default_factory=dict)    # errno -> strerror text of the guest
    values: dict = field(default_factory=dict)    # name -> measured value (text)
    # (phase, program) -> (Rss, Pss, Private_Dirty), in kB
    memory: dict = field(default_factory=dict)
    texts: dict = field(default_factory=dict)     # phase -> transcript
    gpio_frames: list = field(default_factory=list)  # "@@base" and "@@step" frames, split
    failure: str = ""                             # what stopped the guest early
    done: bool = False
    boot_s: float = 0.0                           # qemu's start to /init
    run_s: float = 0.0                            # qemu's start to its end
    console: str = ""


def _text(field):
    assert field.startswith("x"), field
    return bytes.fromhex(field[1:]).decode(errors="replace")


def _read_frame(machine, line):
    kind, _, rest = line[line.index("@@") + 2:].partition(" ")
    fields = rest.split(" ")
    if kind == "errno":
        for entry in _text(fields[0]).splitlines():
            number, text = entry.split(" ", 1)
            machine.errors[int(number)] = text
    elif kind == "value":
        machine.values[fields[0]] = fields[1]
    elif kind == "memory":
        machine.memory[fields[0], fields[1]] = tuple(int(f) for f in fields[2:5])
    elif kind == "text":
        machine.texts[fields[0]] = _text(fields[1])
    elif kind in ("base", "step"):
        machine.gpio_frames.append([kind, *fields])
    elif kind == "fail":
        machine.failure = rest
    elif kind == "done":
        machine.done = True
    return kind, fields[0]


def boot(image, console_log, on_frame=None):
    """Boots the guest once; returns the Machine it reported. on_frame, when
    given, is called after each frame with its kind, its first field and
    the Machine."""
    command = ["qemu-system-aarch64", "-machine", "virt", "-cpu", "cortex-a53", "-accel", "tcg",
               "-smp", "2", "-m", "256M", "-nographic", "-no-reboot", "-nic", "none",
               "-kernel", str(VM / "Image"), "-initrd", str(image),
               "-append", "console=ttyAMA0 quiet loglevel=1 panic=-1"]
    machine = Machine()
    started = time.monotonic()
    qemu = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    timer = threading.Timer(BOOT_TIMEOUT, qemu.kill)
    timer.start()
    lines = []
    try:
        for raw in qemu.stdout:
            line = raw.decode(errors="replace").replace("\r", "").rstrip("\n")
            lines.append(line)
            # The firmware's terminal codes may precede the first frame.
            if "@@" not in line:
                continue
            if "@@up " in line and not machine.boot_s:
                machine.boot_s = time.monotonic() - started
            kind, name = _read_frame(machine, line)
            if on_frame:
                on_frame(kind, name, machine)
        qemu.wait()
    finally:
        timer.cancel()
        qemu.kill()
    machine.run_s = time.monotonic() - started
    machine.console = "\n".join(lines) + "\n"
    console_log.write_text(machine.console)
    if not machine.done and not machine.failure:
        machine.failure = (f"the guest ended without a verdict (qemu {qemu.returncode}, "
                           f"after {machine.run_s:.0f} s)")
    return machine


DAEMONS = ("airsift", "linetap", "confwatch")


def memory_table(machine):
    """The daemons' memory, in kB, at rest and after the load, as text lines.
    "own" is Private_Dirty: what the process alone has written (heap, stack,
    data)."""
    def row(name, rest, loaded):
        return f"{name:<12}" + "".join(f"{v!s:>6}" for v in rest) + "    " + "".join(
            f"{v!s:>6}" for v in loaded)

    lines = [f"{'':<12}{'at rest':^18}    {'after the load':^18}".rstrip(),
             row("memory (kB)", ("Rss", "Pss", "own"), ("Rss", "Pss", "own"))]
    for program in DAEMONS:
        lines.append(row(program, *(machine.memory.get((phase, program), ("?",) * 3)
                                    for phase in ("rest", "loaded"))))
    return lines
