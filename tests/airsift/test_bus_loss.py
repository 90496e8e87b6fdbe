"""airsift loses its broker: it says so and fails, and a new start joins the new broker."""

import signal
import time

import pytest

from airsift_support import RECEIVED_ONE, STARTED, configure, flood, start
from sandbox import STOP_BOUND

LOST = "Lost connection to ubus\n"


@pytest.mark.parametrize("flooded", [False, True], ids=["idle", "flooded"])
def test_broker_killed_under_the_daemon(bus, flooded):
    configure(bus)
    daemon = start(bus)
    if flooded:
        flood(bus)
        daemon.stderr.wait_for(RECEIVED_ONE, count=100)

    bus.broker.signal(signal.SIGKILL)
    killed = time.monotonic()
    assert daemon.wait(STOP_BOUND) == 1
    print(f"airsift exited {time.monotonic() - killed:.3f} s after the broker was killed")
    # Under a flood, reports fail to go out until the loss is read.
    assert daemon.stderr.text.startswith(STARTED) and daemon.stderr.text.endswith(LOST)
    assert flooded or daemon.stderr.text == STARTED + LOST
    assert bus.strays() == []

    bus.broker = bus.start_broker()
    again = start(bus)
    assert "telemetry_airsift" in bus.ubus("list", check=True).stdout.split()
    assert again.running()
