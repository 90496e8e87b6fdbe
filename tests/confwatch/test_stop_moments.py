"""A stop signal ends confwatch whenever it comes, with no bus event after it."""

import signal

import pytest

from sandbox import (STOP_BOUND, binary, signal_before_wait, signal_on_cue, stop_at_random,
                     stop_rng)
from watch_helpers import STARTED, STOPPED, Service, lines, watching_in_loop


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
    assert lines(daemon.stdout) == STARTED + STOPPED
    assert report.read_text() == "events\n"


def test_stop_right_after_the_loop_is_set_up(bus):
    # The loop's set-up brings handlers of its own for the stop signals,
    # whose stop the loop forgets as it starts: the daemon's are in place
    # before, and the loop leaves them.
    Service(bus)
    daemon = bus.spawn(signal_on_cue("loop-init", signal.SIGTERM) + [binary("confwatch")],
                       use_pty=True, name="confwatch")
    assert daemon.wait(STOP_BOUND * 2) == 0
    assert lines(daemon.stdout) == STARTED + STOPPED


def test_stops_at_random_moments(bus):
    rng = stop_rng()
    slowest = 0.0
    for _ in range(8):
        service, daemon = watching_in_loop(bus)
        # Sometimes a notification, so that the stop may land in its callback.
        if rng.random() < 0.5:
            service.send("notify other.event")
        slowest = max(slowest, stop_at_random(daemon, rng, 0.02)[1])
        assert lines(daemon.stdout) == STARTED + STOPPED
        service.proc.kill()
    print(f"confwatch: slowest exit {slowest:.3f} s after its stop signal")
