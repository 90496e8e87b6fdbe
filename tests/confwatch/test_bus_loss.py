"""confwatch loses its broker: it says so, runs a pending reload, fails, and a
new start subscribes on the new broker."""

import signal
import time

from sandbox import DEFAULT_TIMEOUT, STOP_BOUND, wait_until
from watch_helpers import (RELOAD_QUIET, Service, install_recorder, lines, start_confwatch,
                           wait_for_runs, watching_in_loop)

LOST = "lost connection to ubus\n"


def kill_broker(sb, daemon):
    """Kill the broker; returns the daemon's exit status and how long it took."""
    sb.broker.signal(signal.SIGKILL)
    killed = time.monotonic()
    status = daemon.wait(STOP_BOUND)
    return status, time.monotonic() - killed


def test_broker_killed_under_the_daemon(bus):
    runs = install_recorder(bus)
    service, daemon = watching_in_loop(bus)

    status, took = kill_broker(bus, daemon)
    print(f"confwatch exited {took:.3f} s after the broker was killed")
    assert status == 1
    assert daemon.stderr.text == LOST
    assert lines(daemon.stdout) == ["subscribed to service object",
                                    "ready to receive service events",
                                    "stopping to receive service events"]
    assert runs() == []
    # The service ends too, on the same loss; until it has, the sanitizer
    # build's leak check at its exit may show as a process of its own.
    service.proc.wait()
    assert bus.strays() == []

    bus.broker = bus.start_broker()
    service = Service(bus)
    again = start_confwatch(bus)
    service.wait_subscribed()
    assert again.running()


def test_pending_reload_runs_before_the_exit(bus):
    runs = install_recorder(bus)
    service, daemon = watching_in_loop(bus)
    assert service.notify("config.change") == 0
    changed = time.time()

    status, _ = kill_broker(bus, daemon)
    assert status == 1
    assert daemon.stderr.text == LOST
    # The reload comes out of the loop's end, before the teardown's line.
    assert lines(daemon.stdout) == ["subscribed to service object",
                                    "ready to receive service events",
                                    "config.change event received",
                                    "executing reload script",
                                    "stopping to receive service events"]
    (ran, argc), = wait_for_runs(runs, 1, timeout=DEFAULT_TIMEOUT)
    assert ran - changed < RELOAD_QUIET
    assert argc == 0
    # The script was not waited for; once it is done nothing is left.
    wait_until(lambda: bus.strays() == [], what="the reload script to finish")
    assert len(runs()) == 1
