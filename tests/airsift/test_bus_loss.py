"""airsift loses its broker: it says so and fails, and a new start joins the new broker."""

import signal
import time

from airsift_support import STARTED, configure, start
from sandbox import STOP_BOUND

LOST = "Lost connection to ubus\n"


def test_broker_killed_under_the_daemon(bus):
    configure(bus)
    daemon = start(bus)

    bus.broker.signal(signal.SIGKILL)
    killed = time.monotonic()
    assert daemon.wait(STOP_BOUND) == 1
    print(f"airsift exited {time.monotonic() - killed:.3f} s after the broker was killed")
    assert daemon.stderr.text == STARTED + LOST
    assert bus.strays() == []

    bus.broker = bus.start_broker()
    again = start(bus)
    assert "telemetry_airsift" in bus.ubus("list", check=True).stdout.split()
    assert again.running()
