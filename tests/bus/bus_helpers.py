"""Driving bus_client (tools/bus_client.c) from a test."""

import subprocess

from sandbox import DEFAULT_TIMEOUT, binary, wait_until

# The message bus_client notifies: {"msg_type":"status","data":{"log":{...}}}.
TIMESTAMP = 1234567


def status_message(text):
    return {"msg_type": "status", "data": {"log": {"timestamp": TIMESTAMP, "message": text}}}


class BusClient:
    """One bus_client process. Its output mixes answers to commands with
    lines of its own (subscribers, notification, removed); take() picks the
    next line with a given start and keeps the others for later."""

    def __init__(self, sandbox, name="bus_client"):
        self.proc = sandbox.spawn([binary("bus_client")], stdin=subprocess.PIPE, name=name)
        self._unread = []
        first = self.proc.stdout.next_line().decode()
        assert first == "connected", first

    def send(self, line):
        self.proc.stdin.write(line.encode() + b"\n")
        self.proc.stdin.flush()

    def take(self, start, timeout=DEFAULT_TIMEOUT):
        for i, line in enumerate(self._unread):
            if line.startswith(start):
                return self._unread.pop(i)
        while True:
            line = self.proc.stdout.next_line(timeout).decode()
            if line.startswith(start):
                return line
            self._unread.append(line)

    def command(self, line, timeout=DEFAULT_TIMEOUT):
        """Runs one command; returns the fields of its answer after the name."""
        self.send(line)
        return self.take(line.split()[0] + " ", timeout).split(" ")[1:]

    def add(self, name):
        _, status, obj_id = self.command(f"add {name}")
        assert status == "0", f"add {name}: {status}"
        return int(obj_id)

    def subscribe(self, path):
        return int(self.command(f"subscribe {path}")[1])

    def settle(self):
        """Returns once every message the broker sent to this client before
        now has been handled and printed. A lookup's answer comes after all
        of them; what was queued while it waited is handled by the loop
        before the next command is read."""
        for _ in range(2):
            self.command("lookup .settle")

    def unread(self, start):
        """Lines with this start that came and were not taken yet."""
        return [line for line in self._unread if line.startswith(start)]

    def quit(self):
        self.send("quit")
        return self.proc.wait()


def ubus_subscribe(sandbox, *paths):
    """`ubus subscribe` on paths, started and subscribed."""
    sub = sandbox.subscribe(*paths)
    return sub


def wait_registered(client, path):
    wait_until(lambda: client.command(f"lookup {path}")[1] == "0", what=f"{path} on the bus")
