"""confwatch, the "service" object (service-stub) and a recording /sbin/reknit in a sandbox."""

import re
import subprocess
import time
from pathlib import Path

from sandbox import DEFAULT_TIMEOUT, SANITIZED, binary, tool, wait_until

LOOKUP_PERIOD = 2.0   # how often confwatch looks for an absent "service"
RELOAD_QUIET = 10.0   # how long after the last change it reloads
# How late a timer-driven event may come on a busy, shared machine.
LATENESS = 1.5 if SANITIZED else 0.8

# What confwatch prints on standard output: subscribed and in its loop; a
# change and the reload it leads to; stopped by a signal.
STARTED = ["subscribed to service object", "ready to receive service events"]
RELOAD = ["config.change event received", "executing reload script"]
STOPPED = ["signal received - exiting", "stopping to receive service events"]


def start_confwatch(sb, use_pty=False, prefix=()):
    """prefix: a command that starts confwatch (sandbox.signal_on_cue)."""
    return sb.spawn([*prefix, binary("confwatch")], use_pty=use_pty, name="confwatch")


def lines(stream):
    """Output of a process as lines, whether it went to a pipe or a terminal."""
    return stream.text.replace("\r\n", "\n").splitlines()


def watching(sb, use_pty=False, prefix=()):
    """The "service" object on the bus and confwatch subscribed to it."""
    service = Service(sb)
    daemon = start_confwatch(sb, use_pty, prefix)
    service.wait_subscribed()
    return service, daemon


def watching_in_loop(sb):
    """As watching, and confwatch's start-up is over: the answer to its
    subscription may come after the service learnt of it, and a stop or a
    lost bus before that answer cuts the subscription short."""
    service, daemon = watching(sb, use_pty=True)
    daemon.stdout.wait_for("ready to receive service events")
    return service, daemon


class Service:
    """service-stub driven through its standard input; id is the object's
    id on the bus, as the bus tells it."""

    def __init__(self, sb):
        self.sb = sb
        self.proc = sb.spawn([tool("service-stub")], stdin=subprocess.PIPE)
        self.id = self._added()

    def _added(self):
        self.expect("added")
        listing = self.sb.ubus("-v", "list", "service", check=True).stdout
        return re.match(r"'service' @([0-9a-f]+)", listing).group(1)

    def send(self, command):
        self.proc.stdin.write(command.encode() + b"\n")
        self.proc.stdin.flush()

    def expect(self, event, timeout=DEFAULT_TIMEOUT):
        """Skip to the next line reporting event; return that line."""
        deadline = time.monotonic() + timeout
        while True:
            line = self.proc.stdout.next_line(max(0.0, deadline - time.monotonic())).decode()
            if line.split()[0] == event:
                return line

    def notify(self, kind):
        """Notify the subscribers; returns once they have answered, with the status."""
        self.send(f"notify {kind}")
        return int(self.expect("notified").split()[2])

    def remove(self):
        self.send("remove")
        self.expect("removed")

    def add(self):
        self.send("add")
        self.id = self._added()
        return self.id

    def wait_subscribed(self):
        while self.expect("subscribers").split()[1] != "1":
            pass


def install_recorder(sb):
    """A /sbin/reknit that appends "<time> <argument count>" to a log; returns its runs."""
    log = sb.root / "reknit.log"
    sb.install_reload_script(f'#!/bin/sh\necho "$(date +%s.%N) $#" >> {log}\n')

    def runs():
        if not log.exists():
            return []
        return [(float(t), int(argc)) for t, argc in
                (line.split() for line in log.read_text().splitlines())]
    return runs


def install_descriptor_lister(sb):
    """A /sbin/reknit that lists the descriptors it was started with; returns
    a function giving, for each run so far, {descriptor: what it refers to}.

    The shell's own are listed, by find from outside, less the one it reads
    the script from, which it opened itself. No redirection: the shell would
    make it on its own descriptors, and keep a copy of the one it replaced.
    Not the last command either, which the shell would run in its place."""
    listings = sb.root / "descriptors"
    listings.mkdir()
    sb.install_reload_script(f"""#!/bin/sh
find /proc/$$/fd -mindepth 1 -fprintf {listings}/.$$ '%f %l\\n'
mv {listings}/.$$ {listings}/run.$$
""")

    def runs():
        found = []
        for listing in sorted(listings.glob("run.*")):
            entries = (line.split(" ", 1) for line in listing.read_text().splitlines())
            found.append({int(fd): target for fd, target in entries
                          if not target.endswith("/reknit")})
        return found
    return runs


def children(pid):
    """[(pid, state)] of the processes whose parent is pid; zombies have state Z."""
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            stat = (entry / "stat").read_text()
        except OSError:
            continue
        state, ppid = stat.rsplit(")", 1)[1].split()[:2]
        if int(ppid) == pid:
            found.append((int(entry.name), state))
    return found


def wait_for_runs(runs, count, timeout):
    """Wait until the recorder has logged count runs; returns them."""
    wait_until(lambda: len(runs()) >= count, timeout, what=f"{count} run(s) of reknit")
    return runs()
