"""A stop signal ends confwatch whenever it comes, with no bus event after it."""

import signal

import pytest

from sandbox import STOP_BOUND, binary, signal_before_wait, stop_at_random, stop_rng
from watch_helpers import Service, lines, watching_in_loop

STOPPED = ["signal received - exiting", "stopping to receive service events"]


@pytest.mark.parametrize("call", [1, 2])
def test_stop_just_before_the_loop_waits(bus, call):
    # Raised after the loop last looked at its stop flag, before its wait:
    # at the first wait, or at the one after a notification. No event
    # follows, so nothing but the stop can wake the loop.
    service = Service(bus)
    report = bus.root / "wait"
    daemon = bus.spawn(signal_before_wait(signal.SIGTERM, call, report) + [binary("confwatch")],
                       use_pty=True, name="confwatch")
    if call == 2:
        # Sent once the start-up's requests are done, so that the loop,
        # not a request waiting for its answer, takes it in.
        daemon.stdout.wait_for("ready to receive service events")
        assert service.notify("other.event") == 0
    assert daemon.wait(STOP_BOUND) == 0
    assert lines(daemon.stdout) == ["subscribed to service object",
                                    "ready to receive service events", *STOPPED]
    assert report.read_text() == "events\n"


def test_stops_at_random_moments(bus):
    rng = stop_rng()
    slowest = 0.0
    for _ in range(8):
        service, daemon = watching_in_loop(bus)
        # Sometimes a notification, so that the stop may land in its callback.
        if rng.random() < 0.5:
            service.send("notify other.event")
        slowest = max(slowest, stop_at_random(daemon, rng, 0.02)[1])
        assert lines(daemon.stdout) == ["subscribed to service object",
                                        "ready to receive service events", *STOPPED]
        service.proc.kill()
    print(f"confwatch: slowest exit {slowest:.3f} s after its stop signal")
