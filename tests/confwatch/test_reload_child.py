"""A stop signal that reaches the reload child before it runs the script
does to it what it does to a fresh process: it ends it. The script does not
run, and the daemon, which the signal was not sent to, goes on."""

import signal
import time

from sandbox import signal_on_cue, wait_until
from watch_helpers import (RELOAD, RELOAD_QUIET, STARTED, STOPPED, children, install_recorder,
                           lines, watching)


def test_stop_for_the_child_ends_it_before_the_script(bus):
    runs = install_recorder(bus)
    service, daemon = watching(bus, use_pty=True,
                               prefix=signal_on_cue("fork-child", signal.SIGTERM))
    assert service.notify("config.change") == 0
    daemon.stdout.wait_for("executing reload script", timeout=RELOAD_QUIET + 10)

    # A second reload, whose child is left alone, shows what the first did:
    # had its script run, it would be on record 10 s earlier.
    assert service.notify("config.change") == 0
    changed = time.time()
    wait_until(lambda: runs(), RELOAD_QUIET + 10, what="the second reload's run")
    (ran, argc), = runs()
    assert ran - changed >= RELOAD_QUIET - 0.1
    wait_until(lambda: children(daemon.pid) == [], what="the children to be reaped")

    assert daemon.running()
    daemon.signal(signal.SIGTERM)
    assert daemon.wait() == 0
    assert lines(daemon.stdout) == STARTED + RELOAD + RELOAD + STOPPED
    assert daemon.stderr.text == ""
