"""Start-up: no broker, a "service" object that comes late, stops before the loop."""

import os
import signal
import time

import pytest

from bus_monitor import BusMonitor
from sandbox import fd_limit, wait_until
from watch_helpers import LATENESS, LOOKUP_PERIOD, Service, lines, start_confwatch


@pytest.mark.parametrize("prefix, message", [
    ((), "cannot connect to ubus\n"),
    (fd_limit(4), "cannot initialize uloop\n")], ids=["no-broker", "no-descriptors"])
def test_start_up_failure_is_the_only_output(sandbox, prefix, message):
    daemon = start_confwatch(sandbox, prefix=prefix)
    assert daemon.wait() == 1
    assert daemon.stderr.text == message
    assert daemon.stdout.text == ""


def test_late_service_is_found_by_the_periodic_lookup(bus):
    daemon = start_confwatch(bus, use_pty=True)
    daemon.stdout.wait_for("ready to receive service events")
    # Let a couple of lookups fail first.
    time.sleep(2 * LOOKUP_PERIOD + 0.5)
    service = Service(bus)
    arrived = time.monotonic()
    daemon.stdout.wait_for("subscribed to service object")
    assert time.monotonic() - arrived < LOOKUP_PERIOD + LATENESS
    service.wait_subscribed()
    assert service.notify("config.change") == 0
    daemon.stdout.wait_for("config.change event received")
    assert daemon.stderr.text == ""


def test_stop_before_service_was_ever_found(bus):
    # Nothing to unsubscribe, no subscriber to unregister: a clean exit.
    monitor = BusMonitor(bus)
    daemon = start_confwatch(bus, use_pty=True)
    daemon.stdout.wait_for("ready to receive service events")
    daemon.signal(signal.SIGTERM)
    assert daemon.wait() == 0
    assert lines(daemon.stdout) == ["ready to receive service events",
                                    "signal received - exiting",
                                    "stopping to receive service events"]
    assert daemon.stderr.text == ""
    monitor.sync()
    confwatch = monitor.client(lambda m: m.attrs.get("objpath") == "service", "lookups of service")
    assert {m.type for m in monitor.received_from(confwatch)} == {"lookup"}


def has_socket(pid):
    fds = f"/proc/{pid}/fd"
    for fd in os.listdir(fds):
        try:
            if os.readlink(f"{fds}/{fd}").startswith("socket:"):
                return True
        except OSError:
            pass
    return False


def test_stop_signal_during_start_up_is_not_lost(bus):
    # A frozen broker holds confwatch inside its start-up, connected but
    # waiting for an answer; the stop comes then.
    bus.broker.signal(signal.SIGSTOP)
    daemon = start_confwatch(bus)
    wait_until(lambda: has_socket(daemon.pid), what="confwatch connecting")
    daemon.signal(signal.SIGTERM)
    bus.broker.signal(signal.SIGCONT)
    assert daemon.wait() == 0
    assert lines(daemon.stdout) == ["ready to receive service events",
                                    "signal received - exiting",
                                    "stopping to receive service events"]
    assert daemon.stderr.text == ""
