"""What the broker receives from each client and sends to it, from the
broker's own `ubus monitor`.

The broker reports every message to its monitors: each one it received
from a client ("<-") and each one it sent to a client ("->"), with its id
for that client, one line each:

    <- b8095312 #00000000    unsubscribe: {"objid":-989875238}

So a test sees what a program asked of the broker, including notifications
that nobody subscribed to and requests whose answer it never waited for.
Only what comes after the monitor joined is reported, and not every
attribute: the monitor leaves out the target of a subscribe or
unsubscribe.
"""

import itertools
import json
import re
from dataclasses import dataclass

from sandbox import DEFAULT_TIMEOUT, UBUS, wait_until

_LINE = re.compile(r"^(<-|->) ([0-9a-f]{8}) #([0-9a-f]{8}) +(\S+): (.*)$")
# Numbers are printed as signed 32-bit ones; ids read better unsigned.
_IDS = ("objid", "objtype")


@dataclass
class Message:
    received: bool   # by the broker, from the client; else sent to it
    client: int      # the broker's id of the client
    peer: int
    type: str        # "lookup", "add_object", "notify", "status", ...
    attrs: dict      # "objpath", "objid", "method", "data", "status", ...


def parse_line(line):
    """A Message from one line of `ubus monitor`."""
    match = _LINE.match(line)
    assert match, f"not a monitor line: {line!r}"
    direction, client, peer, kind, data = match.groups()
    attrs = json.loads(data)
    for key in _IDS:
        if key in attrs:
            attrs[key] &= 0xFFFFFFFF
    return Message(direction == "<-", int(client, 16), int(peer, 16), kind, attrs)


class BusMonitor:
    _syncs = itertools.count(1)

    def __init__(self, sandbox):
        self._sandbox = sandbox
        self.process = sandbox.spawn([UBUS, "monitor"], name="ubus-monitor")
        # The first line is the broker's answer to its joining the monitors:
        # from then on, every message is shown.
        self.process.stdout.wait_for(b"\n")

    def _lines(self):
        text = self.process.stdout.text
        return text[:text.rfind("\n") + 1].splitlines()

    def messages(self):
        """Every message the broker reported since the monitor joined."""
        return [parse_line(line) for line in self._lines()[1:]]

    def sync(self, timeout=DEFAULT_TIMEOUT):
        """Returns once the monitor has shown all that the broker had
        received before now: a lookup of a name of its own goes through
        the broker after them."""
        name = f"apsuite.monitor.sync{next(self._syncs)}"
        self._sandbox.ubus("list", name)
        wait_until(lambda: any(m.received and m.attrs.get("objpath") == name
                               for m in self.messages()),
                   timeout, what=f"the lookup of {name} in the monitor")

    def client(self, predicate, what):
        """The one client that sent a message satisfying predicate."""
        clients = {m.client for m in self.messages() if m.received and predicate(m)}
        assert len(clients) == 1, f"{len(clients)} clients sent {what}: {self.messages()}"
        return clients.pop()

    def received_from(self, client):
        """The messages the broker received from client, in order."""
        return [m for m in self.messages() if m.received and m.client == client]
