"""The reload script starts with descriptors 0, 1 and 2 only: none of the
daemon's own (bus socket, the event loop's descriptors) reaches it, whether it
runs after the bus was lost, on a daemon started again on a new broker, or
at the moment a stop signal comes in."""

import signal

from sandbox import DEFAULT_TIMEOUT, STOP_BOUND, signal_on_cue, wait_until
from watch_helpers import (RELOAD, RELOAD_QUIET, STARTED, STOPPED, Service,
                           install_descriptor_lister, lines, start_confwatch, watching,
                           watching_in_loop)

STANDARD = {0, 1, 2}


def test_only_the_standard_descriptors_across_a_lost_bus(bus):
    runs = install_descriptor_lister(bus)
    service, daemon = watching_in_loop(bus)

    # The broker goes with a reload pending: the script runs at once, while
    # the daemon still holds the lost connection.
    assert service.notify("config.change") == 0
    bus.broker.signal(signal.SIGKILL)
    assert daemon.wait(STOP_BOUND) == 1
    wait_until(lambda: len(runs()) == 1, DEFAULT_TIMEOUT, what="the run after the loss")
    assert set(runs()[0]) == STANDARD, runs()[0]

    # Started again on a new broker, as the service manager does; there the
    # "service" object also leaves and comes back before the change.
    bus.broker = bus.start_broker()
    service = Service(bus)
    daemon = start_confwatch(bus, use_pty=True)
    service.wait_subscribed()
    daemon.stdout.wait_for("ready to receive service events")
    service.remove()
    daemon.stdout.wait_for("service disappeared - resubscribing")
    service.add()
    service.wait_subscribed()
    assert service.notify("config.change") == 0
    wait_until(lambda: len(runs()) == 2, RELOAD_QUIET + 10, what="the run on the new broker")
    assert set(runs()[1]) == STANDARD, runs()[1]

    daemon.signal(signal.SIGTERM)
    assert daemon.wait() == 0


def test_only_the_standard_descriptors_when_a_stop_comes_at_the_fork(bus):
    # The stop reaches the daemon right after its fork: the child it made
    # is a process of its own and runs the script; the daemon stops.
    runs = install_descriptor_lister(bus)
    service, daemon = watching(bus, prefix=signal_on_cue("fork-parent", signal.SIGTERM))
    assert service.notify("config.change") == 0

    assert daemon.wait(RELOAD_QUIET + 10) == 0
    assert lines(daemon.stdout) == STARTED + RELOAD + STOPPED
    wait_until(lambda: len(runs()) == 1, DEFAULT_TIMEOUT, what="the script's run")
    assert set(runs()[0]) == STANDARD, runs()[0]
