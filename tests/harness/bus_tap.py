"""A relay in the broker's place that records what each program sends.

BusTap moves the running broker's socket aside and listens on the bus path
itself. Every client that connects afterwards is joined to the broker
through it, byte for byte, and the frames each client sends are recorded
by the client's process id (the peer credentials of its connection). So a
test sees what a program asked of the broker, including notifications that
nobody subscribed to and requests whose answer it never waited for, with
any broker that speaks the frame format of hostkit/libubus/wire.
"""

import socket
import struct
import threading
from dataclasses import dataclass, field

from sandbox import DEFAULT_TIMEOUT, wait_until

HEADER_LEN = 8
LEN_MASK = 0x00FFFFFF

# Frame types and attribute ids, numbered as in ubus_wire.h.
TYPES = ("", "hello", "status", "data", "lookup", "add_object", "remove_object",
         "subscribe", "unsubscribe", "invoke", "notify", "subscribers", "removed",
         "event_register", "event_send", "event")
U32_ATTRS = {1: "status", 3: "objid", 4: "objtype", 7: "target", 8: "client", 12: "count"}
STRING_ATTRS = {2: "objpath", 6: "method", 13: "pattern"}
DATA_ATTR = 9


@dataclass
class Frame:
    type: str
    seq: int
    attrs: dict = field(default_factory=dict)
    data: bytes = b""   # the DATA attribute's payload (a blob), if any


def parse_frame(raw):
    """A Frame from one complete frame's bytes."""
    frame = Frame(TYPES[raw[0]] if raw[0] < len(TYPES) else str(raw[0]),
                  struct.unpack(">I", raw[4:8])[0])
    pos = HEADER_LEN + 4
    while pos + 4 <= len(raw):
        word, = struct.unpack(">I", raw[pos:pos + 4])
        attr, length = word >> 24, word & LEN_MASK
        payload = raw[pos + 4:pos + length]
        if attr in U32_ATTRS:
            frame.attrs[U32_ATTRS[attr]] = struct.unpack(">I", payload)[0]
        elif attr in STRING_ATTRS:
            frame.attrs[STRING_ATTRS[attr]] = payload.rstrip(b"\0").decode(errors="replace")
        elif attr == DATA_ATTR:
            frame.data = payload
        pos += max(4, (length + 3) & ~3)
    return frame


class BusTap:
    def __init__(self, sandbox):
        self.socket_path = sandbox.bus_dir / "ubus.sock"
        self.broker_path = sandbox.bus_dir / "tapped-broker.sock"
        # The listening broker keeps its socket under the new name.
        self.socket_path.rename(self.broker_path)
        self._lock = threading.Lock()
        self._sent = {}       # pid -> [Frame]
        self._closed = set()  # pids whose every connection has ended
        self._open = {}       # pid -> connections still open
        self._listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self._listener.bind(str(self.socket_path))
        self._listener.listen(16)
        threading.Thread(target=self._accept, daemon=True).start()

    def sent(self, pid):
        """The frames the process sent so far, in order."""
        with self._lock:
            return list(self._sent.get(pid, []))

    def wait_sent(self, pid, predicate, what, timeout=DEFAULT_TIMEOUT):
        """Wait for a frame of pid that satisfies predicate; returns it."""
        def found():
            return next((f for f in self.sent(pid) if predicate(f)), None)
        return wait_until(found, timeout, what=f"{what} from {pid}; sent {self.sent(pid)}")

    def wait_disconnected(self, pid, timeout=DEFAULT_TIMEOUT):
        """Wait until every connection of pid has ended; returns its frames."""
        wait_until(lambda: pid in self._closed, timeout, what=f"{pid} to leave the bus")
        return self.sent(pid)

    def _accept(self):
        while True:
            try:
                client, _ = self._listener.accept()
            except OSError:
                return
            creds = client.getsockopt(socket.SOL_SOCKET, socket.SO_PEERCRED,
                                      struct.calcsize("3i"))
            pid = struct.unpack("3i", creds)[0]
            broker = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            broker.connect(str(self.broker_path))
            with self._lock:
                self._sent.setdefault(pid, [])
                self._open[pid] = self._open.get(pid, 0) + 1
            threading.Thread(target=_pump, args=(broker, client), daemon=True).start()
            threading.Thread(target=self._record, args=(client, broker, pid), daemon=True).start()

    def _record(self, client, broker, pid):
        pending = b""
        try:
            while data := client.recv(65536):
                pending += data
                while len(pending) >= HEADER_LEN + 4:
                    length = HEADER_LEN + (struct.unpack(">I", pending[8:12])[0] & LEN_MASK)
                    if len(pending) < length:
                        break
                    frame = parse_frame(pending[:length])
                    pending = pending[length:]
                    with self._lock:
                        self._sent[pid].append(frame)
                broker.sendall(data)
        except OSError:
            pass
        finally:
            _close_writing(broker)
            with self._lock:
                self._open[pid] -= 1
                if not self._open[pid]:
                    self._closed.add(pid)


def _pump(source, sink):
    try:
        while data := source.recv(65536):
            sink.sendall(data)
    except OSError:
        pass
    finally:
        _close_writing(sink)


def _close_writing(sock):
    try:
        sock.shutdown(socket.SHUT_WR)
    except OSError:
        pass
