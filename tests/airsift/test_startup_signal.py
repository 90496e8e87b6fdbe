"""A stop signal that arrives while airsift is still starting is not lost."""

import signal
import socket
import threading

from airsift_support import STARTED, configure
from sandbox import binary


class HeldBroker:
    """Stands in the broker's place: accepts the daemon's connection, holds
    it without a word until released, then joins it to the real broker."""

    def __init__(self, sandbox):
        self.socket_path = sandbox.bus_dir / "ubus.sock"
        self.broker_path = sandbox.bus_dir / "broker.sock"
        # The listening broker keeps its socket under the new name.
        self.socket_path.rename(self.broker_path)
        self.listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.listener.bind(str(self.socket_path))
        self.listener.listen(1)
        self.accepted = threading.Event()
        self.release = threading.Event()
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        client, _ = self.listener.accept()
        self.accepted.set()
        self.release.wait()
        broker = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        broker.connect(str(self.broker_path))
        threading.Thread(target=_pump, args=(broker, client), daemon=True).start()
        _pump(client, broker)


def _pump(source, sink):
    try:
        while data := source.recv(65536):
            sink.sendall(data)
        sink.shutdown(socket.SHUT_WR)
    except OSError:
        pass


def test_stop_during_start_up_skips_the_loop(bus):
    configure(bus)
    held = HeldBroker(bus)
    daemon = bus.spawn([binary("airsift")])
    assert held.accepted.wait(20)

    daemon.signal(signal.SIGTERM)
    daemon.stderr.wait_for("Signal 15 received, stopping daemon...\n")
    held.release.set()

    assert daemon.wait() == 0
    assert daemon.stderr.text == "Signal 15 received, stopping daemon...\n" + STARTED
