"""A stop signal ends airsift whenever it comes."""

import signal
import time

import pytest

from airsift_support import (RECEIVED_ONE, SENT, STARTED, ap, configure, flood, listed,
                             next_report, post, scan, start, subscribe)
from broker_lag import broker_stopped, wait_asleep_or_gone
from sandbox import (STOP_BOUND, binary, signal_before_wait, signal_on_cue, stop_at_random,
                     stop_rng)


def stopped(signum):
    return f"Signal {int(signum)} received, stopping daemon...\n"


@pytest.mark.parametrize("call", [1, 2])
def test_stop_just_before_the_loop_waits(bus, call):
    # The scan tick ends every wait within 200 ms, stop or not: the exit
    # alone would not show a lost stop. The wait itself must end at once.
    configure(bus)
    report = bus.root / "wait"
    daemon = bus.spawn(signal_before_wait(signal.SIGTERM, call, report) + [binary("airsift")],
                       name="airsift")
    assert daemon.wait(STOP_BOUND) == 0
    assert daemon.stderr.text == STARTED + stopped(signal.SIGTERM)
    assert report.read_text() == "events\n", "the stop did not wake the loop's wait"


# loop-init: the loop's set-up brings handlers of its own for the stop
# signals, whose stop the loop forgets as it starts: the daemon's are in
# place before, and the loop leaves them. signal: SIGTERM's second handler
# is about to go in, after the loop's delivery, which has no pipe to wake
# yet: the signal waits until both are in place.
@pytest.mark.parametrize("cue, call", [("loop-init", 1), ("signal", 2)])
def test_stop_while_the_loop_is_set_up(bus, cue, call):
    configure(bus)
    daemon = bus.spawn(signal_on_cue(cue, signal.SIGTERM, call) + [binary("airsift")],
                       name="airsift")
    assert daemon.wait(STOP_BOUND * 2) == 0
    assert daemon.stderr.text == stopped(signal.SIGTERM) + STARTED


def test_stops_at_random_moments(bus):
    configure(bus)
    rng = stop_rng()
    slowest = 0.0
    for _ in range(8):
        daemon = start(bus)
        # Sometimes a scan to report, so that the stop may land in its tick.
        if rng.random() < 0.5:
            post(bus, scan([ap("00:00:00:00:00:01")]))
        signum, took = stop_at_random(daemon, rng, 0.25)
        slowest = max(slowest, took)
        assert daemon.stderr.text.startswith(STARTED)
        assert daemon.stderr.text.count(stopped(signum)) == 1
    print(f"airsift: slowest exit {slowest:.3f} s after its stop signal")


def test_flooded_queue_holds_neither_the_bus_nor_the_stop(bus):
    # Any local user may keep the queue full: airsift still hears its new
    # subscriber and its stop between two batches of scans.
    configure(bus)
    daemon = start(bus)
    producers = flood(bus)
    daemon.stderr.wait_for(RECEIVED_ONE, count=100)
    subscriber = subscribe(bus, daemon)
    assert listed(next_report(subscriber)) == ["00:00:00:00:00:01|1|1|-60|0|0|0|0"]
    assert all(p.running() for p in producers)

    daemon.signal(signal.SIGTERM)
    sent = time.monotonic()
    assert daemon.wait(STOP_BOUND) == 0
    print(f"airsift: exited {time.monotonic() - sent:.3f} s after SIGTERM under a flood, "
          f"having handled {daemon.stderr.text.count(RECEIVED_ONE)} scans")
    # The scan in hand, taken before the stop or as it came, is finished;
    # no other is taken.
    assert daemon.stderr.text.split(stopped(signal.SIGTERM))[1] in ("", SENT, RECEIVED_ONE + SENT)
    assert all(p.running() for p in producers)


def test_report_sent_just_before_a_stop_reaches_a_broker_that_lags(bus):
    # The report waits unread in airsift's connection when the stop comes;
    # the teardown waits for the broker to answer the removal of its
    # object, sent after it, so the broker has read it before airsift
    # closes the connection.
    configure(bus)
    daemon = start(bus)
    subscriber = subscribe(bus, daemon)
    with broker_stopped(bus.broker):
        post(bus, scan([ap("00:00:00:00:00:01")]))
        daemon.stderr.wait_for(SENT)
        daemon.signal(signal.SIGTERM)
        daemon.stderr.wait_for(stopped(signal.SIGTERM))
        wait_asleep_or_gone(daemon)
    assert daemon.wait() == 0
    assert listed(next_report(subscriber)) == ["00:00:00:00:00:01|1|1|-60|0|0|0|0"]
