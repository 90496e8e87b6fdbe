"""A stop signal with a reload pending drops the reload and ends cleanly."""

import signal

import pytest

from bus_tap import BusTap
from watch_helpers import install_recorder, lines, watching, watching_in_loop


@pytest.mark.parametrize("signum", [signal.SIGTERM, signal.SIGINT])
def test_stop_with_reload_pending(bus, signum):
    runs = install_recorder(bus)
    service, daemon = watching(bus)
    assert service.notify("config.change") == 0

    daemon.signal(signum)
    assert daemon.wait() == 0
    # Read from a pipe after the exit: the buffered lines keep their order,
    # and the stop is reported where the loop ended, not where it came in.
    assert lines(daemon.stdout) == ["subscribed to service object",
                                    "ready to receive service events",
                                    "config.change event received",
                                    "signal received - exiting",
                                    "stopping to receive service events"]
    assert daemon.stderr.text == ""
    assert runs() == []


def test_teardown_gives_back_the_subscription_then_the_subscriber(bus):
    tap = BusTap(bus)
    service, daemon = watching_in_loop(bus)
    daemon.signal(signal.SIGTERM)
    assert daemon.wait() == 0

    frames = tap.wait_disconnected(daemon.pid)
    subscribed = next(f for f in frames if f.type == "subscribe")
    subscriber, target = subscribed.attrs["objid"], subscribed.attrs["target"]
    assert target == int(service.id, 16)
    teardown = frames[frames.index(subscribed) + 1:]
    assert [(f.type, f.attrs.get("objid"), f.attrs.get("target")) for f in teardown] == [
        ("unsubscribe", subscriber, target),
        ("remove_object", subscriber, None)]
