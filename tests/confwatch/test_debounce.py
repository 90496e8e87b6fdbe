"""A burst of "config.change" notifications leads to one reload after the last."""

import signal
import time

from watch_helpers import (LATENESS, RELOAD_QUIET, install_recorder, lines, wait_for_runs,
                           watching)

SPACING = 3.0


def test_burst_gives_one_reload_after_the_last_change(bus):
    runs = install_recorder(bus)
    service, daemon = watching(bus)

    for i in range(3):
        if i:
            time.sleep(SPACING)
        assert service.notify("config.change") == 0
        last_change = time.time()
    # Another type is acknowledged too, but must not restart the timer.
    time.sleep(SPACING)
    assert service.notify("config.changed") == 0
    assert service.notify("other.event") == 0

    (ran, argc), = wait_for_runs(runs, 1, timeout=RELOAD_QUIET + 10)
    assert RELOAD_QUIET - 0.1 <= ran - last_change < RELOAD_QUIET + LATENESS
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
