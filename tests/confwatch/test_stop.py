"""A stop signal with a reload pending drops the reload and ends cleanly."""

import signal

import pytest

from bus_monitor import BusMonitor
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
    monitor = BusMonitor(bus)
    service, daemon = watching_in_loop(bus)
    daemon.signal(signal.SIGTERM)
    assert daemon.wait() == 0
    monitor.sync()

    confwatch = monitor.client(lambda m: m.type == "subscribe", "subscriptions")
    sent = monitor.received_from(confwatch)
    subscribed = next(m for m in sent if m.type == "subscribe")
    subscriber = subscribed.attrs["objid"]
    teardown = sent[sent.index(subscribed) + 1:]
    assert [(m.type, m.attrs["objid"]) for m in teardown] == [("unsubscribe", subscriber),
                                                             ("remove_object", subscriber)]
    # The monitor does not show the unsubscribe's target. The broker ends
    # the one subscription of that subscriber to that target, tells the
    # target's owner when its last subscriber left, and only then answers:
    # so the service's id was the target.
    everything = monitor.messages()
    unsubscribe = everything.index(teardown[0])
    answer = next(i for i, m in enumerate(everything)
                  if i > unsubscribe and not m.received and m.client == confwatch)
    assert everything[answer].attrs == {"status": 0}
    assert [m.attrs for m in everything[unsubscribe + 1:answer] if not m.received] == [
        {"objid": int(service.id, 16), "active": False}]
