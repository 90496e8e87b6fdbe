"""linetap loses its broker: it says so and fails, and a new start joins the new broker."""

import signal
import time

from linetap_helpers import OBJECT, start_on_bus
from sandbox import STOP_BOUND

LOST = "Connexion à UBus perdue\n"


def test_broker_killed_under_the_daemon(bus):
    # Its input stays open: only the lost connection can end it.
    daemon = start_on_bus(bus)

    bus.broker.signal(signal.SIGKILL)
    killed = time.monotonic()
    assert daemon.wait(STOP_BOUND) == 1
    print(f"linetap exited {time.monotonic() - killed:.3f} s after the broker was killed")
    assert daemon.stderr.text == LOST
    assert bus.strays() == []

    bus.broker = bus.start_broker()
    again = start_on_bus(bus)
    assert OBJECT in bus.ubus("list", check=True).stdout.split()
    assert again.running()
