"""Run the production binaries in an isolated environment of their own.

A Sandbox is a mount and IPC namespace held open by a small holder process.
Inside it the fixed paths the daemons use are replaced by per-test ones:

    /var/run/ubus   -> <root>/ubus      (bus socket folder)
    /etc/config     -> <root>/config    (uci configuration)
    /tmp/.uci       -> <root>/uci-save  (uci changes not yet committed)
    /collectd       -> <root>/collectd  (scan queue key path lives here)
    /sbin           -> overlay of the machine's /sbin with <root>/sbin on top
                       (so /sbin/reknit is the test's own, or absent, even
                       where the machine has one)

and System V IPC (the scan queue) is private, with message size limits
raised for the 10504-byte scan messages. Every process a test starts joins
that namespace through nsenter, so tests run side by side and never see the
machine's own bus, configuration, queues or scripts. The mount points those
paths need on the machine are made where missing and removed again by the
last sandbox that uses them.

The deliverables may be built for another machine than the one the tests
run on (aarch64 with musl, or with glibc by a second compiler):
APSUITE_TARGET_BUILD names that cross build.
Its deliverables and test helpers, and the broker and the ubus and uci
clients of its sysroot, are then run through the emulator its toolchain
names; only the outside components the tests drive, the scan producer and
the "service" object (tool()), stay the build host's own, talking to the
target's broker and queue as any client does.
"""

import contextlib
import fcntl
import json
import os
import pty
import queue
import random
import re
import shlex
import shutil
import signal
import subprocess
import tempfile
import threading
import time
from pathlib import Path

BIN = Path(os.environ.get("APSUITE_BIN") or Path(__file__).resolve().parents[2] / "build" / "bin").resolve()
SANITIZED = os.environ.get("APSUITE_SANITIZE") == "1"

DELIVERABLES = ("airsift", "linetap", "confwatch", "pinrig")
_target_build = os.environ.get("APSUITE_TARGET_BUILD")
TARGET_BUILD = Path(_target_build).resolve() if _target_build else None
# Where the deliverables and the helpers built with them (tests/helpers) are.
DELIVERABLE_BIN = TARGET_BUILD / "bin" if TARGET_BUILD else BIN
HOST_HELPERS = Path(os.environ.get("APSUITE_HELPERS") or BIN.parent / "test-helpers")
HELPERS = TARGET_BUILD / "test-helpers" if TARGET_BUILD else HOST_HELPERS


def _target_platform():
    """The broker and clients of the target's sysroot that the cross build
    named beside its helpers (tests/helpers: platform), name -> path; none
    for a cross build made without the helpers."""
    listing = HELPERS / "platform"
    if not TARGET_BUILD or not listing.exists():
        return {}
    found = dict(line.split("=", 1) for line in listing.read_text().splitlines() if line)
    missing = [name for name in ("ubusd", "ubus", "uci") if not found.get(name)]
    assert not missing, f"{TARGET_BUILD} names no target {', '.join(missing)}"
    return found


# The platform's broker and clients under test: with a target build the
# target's own, never the build host's; else the build host's, as the build
# found them (cmake/Platform.cmake), by default where scripts/setup.sh
# builds them.
TARGET_PLATFORM = _target_platform()
_HOST_PLATFORM = Path(__file__).resolve().parents[2] / "deps" / "platform"
if TARGET_BUILD:
    UBUSD, UBUS, UCI = (TARGET_PLATFORM.get(name) for name in ("ubusd", "ubus", "uci"))
else:
    UBUSD = os.environ.get("APSUITE_UBUSD") or str(_HOST_PLATFORM / "sbin" / "ubusd")
    UBUS = os.environ.get("APSUITE_UBUS") or str(_HOST_PLATFORM / "bin" / "ubus")
    UCI = os.environ.get("APSUITE_UCI") or str(_HOST_PLATFORM / "bin" / "uci")


# The command put before every program built for the target: the one the
# cross build wrote beside its helpers (tests/helpers), unless
# APSUITE_EMULATOR gives another (empty: run them directly).
if "APSUITE_EMULATOR" in os.environ:
    EMULATOR = shlex.split(os.environ["APSUITE_EMULATOR"])
elif TARGET_BUILD:
    EMULATOR = [arg for arg in (HELPERS / "emulator").read_text().splitlines() if arg]
else:
    EMULATOR = []


# Fixed paths of the system, each replaced inside the namespace.
BUS_DIR = "/var/run/ubus"
CONFIG_DIR = "/etc/config"
QUEUE_DIR = "/collectd"
SCAN_KEY_PATH = "/collectd/vornel_scan_result"
RELOAD_SCRIPT = "/sbin/reknit"
UCI_SAVE_DIR = "/tmp/.uci"      # uci changes not yet committed
# Where the namespace mounts the per-run folders (on the machine's side).
MOUNT_POINTS = ("/run/ubus", CONFIG_DIR, QUEUE_DIR, UCI_SAVE_DIR)
# The mount points that sandboxes had to make on the machine, one a line,
# kept while any is left; it is also the lock of those mount points.
MADE_MOUNT_POINTS = Path(tempfile.gettempdir()) / "apsuite-mount-points"

MSGMAX = 65536
MSGMNB = 1048576

DEFAULT_TIMEOUT = 20 if SANITIZED else 10
# How long an idle daemon may take from a stop signal, or the loss of its
# broker, to its exit: in practice a few milliseconds; a daemon that missed
# the stop would wait for an event that never comes.
STOP_BOUND = DEFAULT_TIMEOUT / 5

_SETUP = r"""
set -e
mount --bind "$T/ubus" /run/ubus
mount --bind "$T/config" /etc/config
mount --bind "$T/collectd" /collectd
# A whiteout: whatever the machine has at /sbin/reknit stays hidden.
[ -e "$T/sbin/reknit" ] || mknod "$T/sbin/reknit" c 0 0
mount -t overlay overlay -o lowerdir=/usr/sbin,upperdir="$T/sbin",workdir="$T/sbin-work" /usr/sbin
echo $MSGMAX > /proc/sys/kernel/msgmax
echo $MSGMNB > /proc/sys/kernel/msgmnb
# Opened before the caller goes on, which may mount over /dev.
exec 3>/dev/null
echo ready
exec cat >&3 3>&-
"""


class TimeoutExpired(AssertionError):
    pass


def wait_until(predicate, timeout=DEFAULT_TIMEOUT, interval=0.02, what="condition"):
    """Poll predicate until it returns a true value; fail after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutExpired(f"timed out after {timeout}s waiting for {what}")
        time.sleep(interval)


class Stream:
    """Collects everything a process writes to one pipe, in a thread."""

    def __init__(self, fileobj):
        self._data = bytearray()
        self._lock = threading.Lock()
        self._closed = threading.Event()
        self._lines = queue.Queue()
        self._partial = b""
        self._thread = threading.Thread(target=self._pump, args=(fileobj,), daemon=True)
        self._thread.start()

    def _pump(self, fileobj):
        try:
            while True:
                chunk = os.read(fileobj.fileno(), 65536)
                if not chunk:
                    break
                with self._lock:
                    self._data += chunk
                *complete, self._partial = (self._partial + chunk).split(b"\n")
                for line in complete:
                    self._lines.put(line)
        except OSError:
            pass  # a pty reports EIO once the other side is gone
        finally:
            self._closed.set()

    @property
    def bytes(self):
        with self._lock:
            return bytes(self._data)

    @property
    def text(self):
        return self.bytes.decode("utf-8", errors="replace")

    def wait_for(self, needle, timeout=DEFAULT_TIMEOUT, count=1):
        """Wait until needle (bytes, str or compiled regex) occurs count times."""
        def seen():
            data = self.bytes
            if isinstance(needle, re.Pattern):
                return len(needle.findall(data.decode("utf-8", "replace"))) >= count
            pattern = needle.encode() if isinstance(needle, str) else needle
            return data.count(pattern) >= count
        wait_until(seen, timeout, what=f"{needle!r} x{count} in output; got {self.bytes[-2000:]!r}")

    def next_line(self, timeout=DEFAULT_TIMEOUT):
        """The next complete line (without its newline), in order."""
        try:
            return self._lines.get(timeout=timeout)
        except queue.Empty:
            raise TimeoutExpired(f"no line within {timeout}s; got {self.bytes[-2000:]!r}") from None

    def pending_lines(self):
        return self._lines.qsize()

    def wait_closed(self, timeout=DEFAULT_TIMEOUT):
        if not self._closed.wait(timeout):
            raise TimeoutExpired("stream did not close")


class Process:
    """A process started inside a sandbox, with its output collected."""

    def __init__(self, popen, name, pty_master=None):
        self.popen = popen
        self.name = name
        self.pid = popen.pid
        if pty_master is not None:
            self.stdout = Stream(os.fdopen(pty_master, "rb", buffering=0))
        else:
            self.stdout = Stream(popen.stdout) if popen.stdout else None
        self.stderr = Stream(popen.stderr) if popen.stderr else None
        self.stdin = popen.stdin

    def signal(self, signum):
        self.popen.send_signal(signum)

    def wait(self, timeout=DEFAULT_TIMEOUT):
        """Wait for the exit status and for all output to be collected."""
        try:
            status = self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            raise TimeoutExpired(f"{self.name} did not exit within {timeout}s") from None
        for stream in (self.stdout, self.stderr):
            if stream:
                stream.wait_closed(timeout)
        return status

    def running(self):
        return self.popen.poll() is None

    def close_stdin(self):
        if self.stdin:
            self.stdin.close()

    def kill(self):
        if self.running():
            self.popen.kill()
        try:
            self.popen.wait(5)
        except subprocess.TimeoutExpired:
            pass


class Subscriber:
    """`ubus subscribe` on one or more objects; each line is one notification."""

    def __init__(self, process):
        self.process = process

    def next(self, timeout=DEFAULT_TIMEOUT):
        """The next notification as (type, payload) parsed from its JSON line."""
        line = self.process.stdout.next_line(timeout)
        message = json.loads(line)
        assert len(message) == 1, line
        return next(iter(message.items()))

    def pending(self):
        return self.process.stdout.pending_lines()


class Sandbox:
    def __init__(self, root=None, detached=False):
        """detached: the holder and every spawned process get a session of
        their own, so a Ctrl-C at the caller's terminal reaches only the caller."""
        self._own_root = root is None
        self._detached = detached
        self.root = Path(root or tempfile.mkdtemp(prefix="apsuite-"))
        self.bus_dir = self.root / "ubus"
        self.config_dir = self.root / "config"
        self.queue_dir = self.root / "collectd"
        self.sbin_dir = self.root / "sbin"
        self.uci_save_dir = self.root / "uci-save"
        self._processes = []
        self._holder = None

    # -- life cycle -------------------------------------------------------

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def start(self):
        for d in (self.bus_dir, self.config_dir, self.queue_dir, self.sbin_dir,
                  self.root / "sbin-work", self.uci_save_dir):
            d.mkdir(parents=True, exist_ok=True)
        # Until its mounts are in place, no other sandbox may take away a
        # mount point this one counts on.
        with made_mount_points() as made:
            for mount_point in MOUNT_POINTS:
                if not os.path.exists(mount_point):
                    os.mkdir(mount_point)
                    made.add(mount_point)
            self._set_up()

    def _set_up(self):
        env = dict(os.environ, T=str(self.root), MSGMAX=str(MSGMAX), MSGMNB=str(MSGMNB))
        self._holder = subprocess.Popen(
            ["unshare", "--mount", "--ipc", "--propagation", "private", "--",
             "/bin/sh", "-c", _SETUP],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env,
            start_new_session=self._detached)
        line = self._holder.stdout.readline()
        if line.strip() != b"ready":
            err = self._holder.stderr.read()
            raise RuntimeError(f"sandbox setup failed: {line!r} {err!r}")
        # libuci applies the changes saved there to every package it loads.
        self.run(["mount", "--bind", self.uci_save_dir, UCI_SAVE_DIR], check=True)

    def close(self):
        for proc in reversed(self._processes):
            proc.kill()
        if self._holder:
            self._holder.stdin.close()
            try:
                self._holder.wait(5)
            except subprocess.TimeoutExpired:
                self._holder.kill()
                self._holder.wait()
        if self._own_root:
            shutil.rmtree(self.root, ignore_errors=True)
        remove_made_mount_points()

    @property
    def holder_pid(self):
        """The process whose namespaces everything inside joins (nsenter -t)."""
        return self._holder.pid

    # -- files inside ------------------------------------------------------

    def write_uci(self, package, text):
        """Write /etc/config/<package>."""
        (self.config_dir / package).write_text(text)

    def remove_uci(self, package):
        (self.config_dir / package).unlink(missing_ok=True)

    def create_scan_key_path(self):
        (self.queue_dir / "vornel_scan_result").touch()

    def install_reload_script(self, text, mode=0o755):
        """Put an executable at /sbin/reknit (written through the overlay)."""
        self.run(["sh", "-c", 'cat > "$1" && chmod "$2" "$1"', "sh", RELOAD_SCRIPT, oct(mode)[2:]],
                 input=text.encode(), check=True)

    def remove_reload_script(self):
        self.run(["rm", "-f", RELOAD_SCRIPT], check=True)

    # -- processes inside -----------------------------------------------------

    def _nsenter(self, argv):
        return ["nsenter", "-t", str(self._holder.pid), "-m", "-i", "--", *emulated(argv)]

    def run(self, argv, **kwargs):
        """Run a command inside the sandbox to completion (subprocess.run)."""
        kwargs.setdefault("timeout", DEFAULT_TIMEOUT)
        return subprocess.run(self._nsenter(argv), **kwargs)

    def spawn(self, argv, stdin=subprocess.DEVNULL, use_pty=False, env=None, name=None):
        """Start a process inside the sandbox; its output is collected.

        With use_pty its standard output is a pseudo-terminal, so stdio line
        buffering applies as it would at a console.
        """
        master = None
        stdout = subprocess.PIPE
        if use_pty:
            master, slave = pty.openpty()
            stdout = slave
        popen = subprocess.Popen(self._nsenter(argv), stdin=stdin, stdout=stdout,
                                 stderr=subprocess.PIPE, env=env,
                                 start_new_session=self._detached)
        if use_pty:
            os.close(slave)
        proc = Process(popen, name or Path(str(argv[0])).name, master)
        self._processes.append(proc)
        return proc

    def start_broker(self):
        # A socket left by a broker that was killed would look like a ready one.
        (self.bus_dir / "ubus.sock").unlink(missing_ok=True)
        broker = self.spawn([UBUSD], name="ubusd")
        # Its socket file exists from bind() on, but connections are refused
        # until listen(): wait for the latter.
        wait_until(lambda: listening(broker.pid) or not broker.running(), what="bus socket")
        assert broker.running(), f"ubusd exited: {broker.stderr.text}"
        return broker

    def ubus(self, *args, timeout=DEFAULT_TIMEOUT, check=False):
        """Run the ubus client once; returns CompletedProcess with text output."""
        return self.run([UBUS, *args], capture_output=True, text=True, check=check,
                        timeout=timeout)

    def uci(self, *args, check=True):
        """Run the uci client once, as an engineer on the device would:
        "set" saves a change that lookups see at once, "commit" writes it
        into /etc/config. Returns CompletedProcess with text output."""
        return self.run([UCI, *args], capture_output=True, text=True, check=check)

    def wait_for_object(self, path, timeout=DEFAULT_TIMEOUT):
        result = self.ubus("-t", str(int(timeout)), "wait_for", path, timeout=timeout + 5)
        assert result.returncode == 0, f"{path} never appeared: {result.stderr}"

    def subscribe(self, *paths):
        """Start `ubus subscribe` and return a Subscriber reading its lines."""
        return Subscriber(self.spawn([UBUS, "subscribe", *paths], name="ubus-subscribe"))

    def strays(self):
        """Processes inside the namespace that the test does not hold: not
        the holder and not a started process that still runs. Whatever a
        process left behind, its children included, shows up here."""
        held = {self._holder.pid} | {p.pid for p in self._processes if p.running()}
        namespace = os.readlink(f"/proc/{self._holder.pid}/ns/mnt")
        found = []
        for pid, pid_namespace in mount_namespaces():
            if pid not in held and pid_namespace == namespace:
                try:
                    found.append((pid, Path(f"/proc/{pid}/cmdline").read_bytes()))
                except OSError:
                    pass  # gone meanwhile
        return found


@contextlib.contextmanager
def made_mount_points():
    """The set of mount points that sandboxes made on the machine, held
    under an exclusive lock; what the caller leaves in it is kept."""
    while True:
        fd = os.open(MADE_MOUNT_POINTS, os.O_RDWR | os.O_CREAT, 0o600)
        fcntl.flock(fd, fcntl.LOCK_EX)
        # The last user may have removed the file while this one waited.
        try:
            if os.stat(MADE_MOUNT_POINTS).st_ino == os.fstat(fd).st_ino:
                break
        except FileNotFoundError:
            pass
        os.close(fd)
    with open(fd, "r+") as record:
        made = set(record.read().split("\n")) - {""}
        try:
            yield made
        finally:
            if made:
                record.seek(0)
                record.truncate()
                record.write("".join(f"{path}\n" for path in sorted(made)))
            else:
                os.unlink(MADE_MOUNT_POINTS)


def remove_made_mount_points():
    """Removes the mount points that sandboxes made and no mount namespace
    uses any more; one that something else filled is left to it."""
    with made_mount_points() as made:
        if made:
            for path in made - mount_points_in_use():
                made.discard(path)
                with contextlib.suppress(OSError):
                    os.rmdir(path)


def mount_points_in_use():
    """Every mount point of every mount namespace on the machine."""
    seen, in_use = set(), set()
    for pid, namespace in mount_namespaces():
        if namespace in seen:
            continue
        seen.add(namespace)
        try:
            mounts = Path(f"/proc/{pid}/mountinfo").read_text()
        except OSError:
            continue
        in_use.update(line.split()[4] for line in mounts.splitlines())
    return in_use


def mount_namespaces():
    """(pid, mount namespace) of every process on the machine."""
    for entry in Path("/proc").iterdir():
        if entry.name.isdigit():
            try:
                yield int(entry.name), os.readlink(entry / "ns" / "mnt")
            except OSError:
                pass  # gone meanwhile


def listening(pid):
    """True once the process holds a Unix socket that accepts connections."""
    try:
        links = [os.readlink(f"/proc/{pid}/fd/{fd}") for fd in os.listdir(f"/proc/{pid}/fd")]
    except OSError:
        return False
    inodes = {link[len("socket:["):-1] for link in links if link.startswith("socket:[")}
    with open("/proc/net/unix") as table:
        next(table)  # Num RefCount Protocol Flags Type St Inode Path
        for fields in (line.split() for line in table):
            if fields[6] in inodes and int(fields[3], 16) & 0x10000:  # __SO_ACCEPTCON
                return True
    return False


@contextlib.contextmanager
def signals_blocked(*signums):
    """Processes started inside the block begin with signums blocked, as
    under a parent that had blocked them (a mask survives fork and exec)."""
    old = signal.pthread_sigmask(signal.SIG_BLOCK, signums)
    try:
        yield
    finally:
        signal.pthread_sigmask(signal.SIG_SETMASK, old)


def stop_rng():
    """The random source of a test of stops at random moments. Its seed is
    printed, and APSUITE_STOP_SEED gives it to replay a failure."""
    seed = int(os.environ.get("APSUITE_STOP_SEED") or random.randrange(2**32))
    print(f"stop moments: APSUITE_STOP_SEED={seed}")
    return random.Random(seed)


def stop_at_random(daemon, rng, latest):
    """Send SIGINT or SIGTERM, at random, after a random pause of up to latest
    seconds; wait for the exit, which must have status 0 within STOP_BOUND.
    Returns the signal and the seconds from it to the exit."""
    time.sleep(rng.uniform(0, latest))
    signum = rng.choice([signal.SIGINT, signal.SIGTERM])
    daemon.signal(signum)
    sent = time.monotonic()
    assert daemon.wait(STOP_BOUND) == 0
    return signum, time.monotonic() - sent


def preloaded(library, **variables):
    """Command prefix that starts what follows with library preloaded and
    variables set; the sanitizer runtime is told not to insist on coming
    first, so it works in either build."""
    asan = os.environ.get("ASAN_OPTIONS", "")
    return ["env", f"LD_PRELOAD={library}", f"ASAN_OPTIONS={asan}:verify_asan_link_order=0",
            *(f"{k}={v}" for k, v in variables.items())]


def signal_on_cue(cue, signum, call=1, report=None):
    """Command prefix that raises signum in the program at the call-th time
    of a cue (tests/helpers/signal_on_cue.c): "wait", just before its event
    loop waits; "fork-child" or "fork-parent", right after fork() on that
    side; "loop-init", right after uloop_init(); "signal", just before
    signal() installs a handler. With report, a file: for
    "wait", the cued wait writes there how it ended, "events" when
    something woke it, "timeout" when it ran out."""
    variables = dict(CUE=cue, CUE_SIGNAL=int(signum), CUE_CALL=call)
    if report is not None:
        variables["CUE_REPORT"] = report
    return preloaded(helper("signal_on_cue.so"), **variables)


def signal_before_wait(signum, call=1, report=None):
    return signal_on_cue("wait", signum, call, report)


def _built(path):
    assert path.exists(), f"{path} is not built"
    return str(path)


def binary(name):
    """Path of one of the project's executables in the build: the
    deliverables from the target build when there is one."""
    return _built((DELIVERABLE_BIN if name in DELIVERABLES else BIN) / name)


def helper(name):
    """Path of a test helper built with the deliverables (tests/helpers)."""
    return _built(HELPERS / name)


def tool(name):
    """Path of scan-send or service-stub (tests/helpers) as built for the
    build host, whatever the deliverables are built for."""
    return _built(HOST_HELPERS / name)


def _built_for_target(program):
    return EMULATOR and (Path(program).parent in (DELIVERABLE_BIN, HELPERS)
                         or program in TARGET_PLATFORM.values())


def fd_limit(n):
    """Command prefix that starts what follows with at most n descriptors."""
    return ["prlimit", f"--nofile={n}", "--"]


def emulated(argv):
    """argv as strings, with the emulator put before the program it runs when
    that was built for the target; the program may follow `env` and its
    variables, or fd_limit()."""
    argv = [str(arg) for arg in argv]
    position = 0
    if argv and Path(argv[0]).name == "env":
        position = 1
        while position < len(argv) and "=" in argv[position]:
            position += 1
    elif argv and Path(argv[0]).name == "prlimit":
        position = argv.index("--") + 1
    if position < len(argv) and _built_for_target(argv[position]):
        argv[position:position] = EMULATOR
    return argv
