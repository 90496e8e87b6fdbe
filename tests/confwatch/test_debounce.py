"""A burst of "config.change" notifications leads to one reload after the last."""

import signal
import time

from watch_helpers import RELOAD_QUIET, install_recorder, lines, wait_for_runs, watching

SPACING = 3.0
# The other notifications come this long after the last change: the reload
# comes before they are RELOAD_QUIET old, unless they set the timer again.
# What is left is how late a timer may fire on a busy machine.
OTHERS_AFTER = 5.0


def test_burst_gives_one_reload_after_the_last_change(bus):
    runs = install_recorder(bus)
    service, daemon = watching(bus)

    for i in range(3):
        if i:
            time.sleep(SPACING)
        assert service.notify("config.change") == 0
        last_change = time.time()
    # Another type is acknowledged too, but must not restart the timer.
    time.sleep(OTHERS_AFTER)
    others_sent = time.time()
    assert service.notify("config.changed") == 0
    assert service.notify("other.event") == 0

    (ran, argc), = wait_for_runs(runs, 1, timeout=RELOAD_QUIET + 10)
    assert ran - last_change >= RELOAD_QUIET - 0.1
    assert ran - others_sent < RELOAD_QUIET
    assert argc == 0

    daemon.signal(signal.SIGTERM)
    assert daemon.wait() == 0
    assert len(runs()) == 1
    assert lines(daemon.stdout) == ["subscribed to service object",
                                    "ready to receive service events",
                                    *["config.change event received"] * 3,
                                    "executing reload script",
                                    "signal received - exiting",
                                    "stopping to receive service events"]
