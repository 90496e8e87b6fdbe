"""A stop signal ends linetap whenever it comes, with no input after it."""

import os
import signal
import subprocess

import pytest

from linetap_helpers import OBJECT, judged, send, start_on_bus
from sandbox import (STOP_BOUND, binary, signal_before_wait, signal_on_cue, stop_at_random,
                     stop_rng)

LINE = "[1.0] 1|1| one line"


def stopped(signum):
    return f"Signal {int(signum)} reçu, arrêt du daemon...\n"


@pytest.mark.parametrize("call", [1, 2])
def test_stop_just_before_the_loop_waits(bus, call):
    # Raised after the loop last looked at its stop flag, before its wait:
    # at the first wait, or at the one after a line was read. The input
    # stays open and silent, so nothing but the stop can wake the loop.
    report = bus.root / "wait"
    daemon = bus.spawn(signal_before_wait(signal.SIGTERM, call, report) + [binary("linetap")],
                       stdin=subprocess.PIPE, name="linetap")
    if call == 2:
        bus.wait_for_object(OBJECT)
        send(daemon, LINE + "\n")
    assert daemon.wait(STOP_BOUND) == 0
    read = judged(LINE, 1) if call == 2 else ""
    assert daemon.stderr.text == read + stopped(signal.SIGTERM)
    assert report.read_text() == "events\n"


def test_stop_right_after_the_loop_is_set_up(bus):
    # The loop's set-up brings handlers of its own for the stop signals,
    # whose stop the loop forgets as it starts: the daemon's are in place
    # before, and the loop leaves them. The stop came before the loop ran,
    # so the line waiting on the input is not read.
    read_end, write_end = os.pipe()
    os.write(write_end, (LINE + "\n").encode())
    daemon = bus.spawn(signal_on_cue("loop-init", signal.SIGTERM) + [binary("linetap")],
                       stdin=read_end, name="linetap")
    os.close(read_end)
    try:
        assert daemon.wait(STOP_BOUND * 2) == 0
    finally:
        os.close(write_end)
    assert daemon.stderr.text == stopped(signal.SIGTERM)


def test_stops_at_random_moments(bus):
    rng = stop_rng()
    slowest = 0.0
    for _ in range(8):
        daemon = start_on_bus(bus)
        # Sometimes a line to read, so that the stop may land in its callback.
        if rng.random() < 0.5:
            send(daemon, LINE + "\n")
        signum, took = stop_at_random(daemon, rng, 0.02)
        slowest = max(slowest, took)
        assert daemon.stderr.text.count(stopped(signum)) == 1
        assert daemon.stderr.text.replace(stopped(signum), "") in ("", judged(LINE, 1))
    print(f"linetap: slowest exit {slowest:.3f} s after its stop signal")
