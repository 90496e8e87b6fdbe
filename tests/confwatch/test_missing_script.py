"""Without /sbin/reknit the child reports the failure and the daemon goes on."""

import errno
import signal

import libc
from sandbox import wait_until
from watch_helpers import RELOAD, RELOAD_QUIET, STARTED, STOPPED, children, lines, watching


def test_missing_reload_script(bus):
    service, daemon = watching(bus)
    assert service.notify("config.change") == 0

    daemon.stderr.wait_for("exec reknit failed", timeout=RELOAD_QUIET + 10)
    wait_until(lambda: children(daemon.pid) == [], what="the failed child reaped")
    # Still on the bus and still handling notifications.
    assert daemon.running()
    assert service.notify("other.event") == 0

    daemon.signal(signal.SIGTERM)
    assert daemon.wait() == 0
    assert daemon.stderr.text == f"exec reknit failed: {libc.strerror(errno.ENOENT)}\n"
    # All of it: a child that flushed the daemon's buffered lines on its way
    # out would have written them a second time.
    assert lines(daemon.stdout) == STARTED + RELOAD + STOPPED
