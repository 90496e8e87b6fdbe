"""The bus when clients misbehave, stall or die, and when the broker goes."""

import json
import signal
import socket
import struct

from bus_helpers import BusClient
from sandbox import binary, wait_until

OBJECT = "telemetry_test"


def raw_connection(bus):
    sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    sock.connect(str(bus.bus_dir / "ubus.sock"))
    sock.settimeout(10)
    return sock


def test_broken_and_vanishing_clients_leave_the_others_served(bus):
    owner = BusClient(bus, "owner")
    owner.add(OBJECT)
    watcher = BusClient(bus, "watcher")
    assert watcher.subscribe(OBJECT) == 0

    # A client that dies halfway through a frame.
    half = raw_connection(bus)
    half.sendall(struct.pack(">BBHII", 10, 0, 0, 1, 1000) + b"\0" * 100)
    half.close()
    # A client that sends garbage is dropped: the broker closes on it.
    garbage = raw_connection(bus)
    garbage.sendall(b"\xff" * 64)
    while garbage.recv(4096):
        pass  # its greeting, then the end
    garbage.close()

    assert owner.command(f"notify {OBJECT} status -1 still here") == ["0"]
    assert watcher.take("notification ").endswith('"message":"still here"}}}')
    assert bus.ubus("list").stdout == f"{OBJECT}\n"


def test_publisher_killed_mid_stream(bus):
    owner = BusClient(bus, "owner")
    obj_id = owner.add(OBJECT)
    watcher = BusClient(bus, "watcher")
    assert watcher.subscribe(OBJECT) == 0

    # 5000 notifications of about 300 bytes: less than the broker queues for
    # a subscriber that lags, so the watcher keeps its connection throughout.
    owner.send(f"flood {OBJECT} 5000 200")
    first = watcher.take("notification flood ")
    owner.proc.signal(signal.SIGKILL)

    assert watcher.take("removed ") == f"removed {obj_id}"
    seqs = [json.loads(line.split(" ", 2)[2])["seq"]
            for line in [first] + watcher.unread("notification flood ")]
    assert seqs == list(range(len(seqs))), "notifications lost or reordered"
    assert watcher.command(f"lookup {OBJECT}")[1] == "4"


def test_stalled_subscriber_holds_up_nobody_and_is_dropped(bus):
    owner = BusClient(bus, "owner")
    owner.add(OBJECT)
    owner.add("only_stalled")
    fast = BusClient(bus, "fast")
    stalled = BusClient(bus, "stalled")
    assert fast.subscribe(OBJECT) == 0
    for path in (OBJECT, "only_stalled"):
        assert stalled.subscribe(path) == 0
    assert owner.take("subscribers only_stalled") == "subscribers only_stalled 1"

    stalled.proc.signal(signal.SIGSTOP)
    # Bursts of 512 KiB, each read by the fast subscriber before the next,
    # until the broker gives up on the stalled one.
    chunk, size = 512, 1024
    for _ in range(16):
        assert owner.command(f"flood {OBJECT} {chunk} {size}") == ["0", str(chunk)]
        lines = [fast.take("notification flood ") for _ in range(chunk)]
        assert json.loads(lines[-1].split(" ", 2)[2])["seq"] == chunk - 1
        owner.settle()
        if owner.unread("subscribers only_stalled"):
            break
    assert owner.take("subscribers only_stalled") == "subscribers only_stalled 0"

    # Woken up, it finds its connection gone and stops watching the socket.
    stalled.proc.signal(signal.SIGCONT)
    wait_until(lambda: stalled.command("state") == ["registered=0"], what="socket out of the loop")
    assert stalled.command(f"lookup {OBJECT}") == [OBJECT, "10", "0"]


def test_clients_stop_cleanly_when_the_broker_goes(bus):
    owner = BusClient(bus, "owner")
    owner.add(OBJECT)
    cli = bus.subscribe(OBJECT)
    owner.take("subscribers ")

    bus.broker.signal(signal.SIGTERM)
    assert bus.broker.wait() == 0
    assert not (bus.bus_dir / "ubus.sock").exists()

    assert cli.process.wait() == 10
    assert cli.process.stderr.text == "Command failed: Connection failed\n"
    wait_until(lambda: owner.command("state") == ["registered=0"], what="socket out of the loop")
    assert owner.command(f"notify {OBJECT} status -1 x") == ["10"]
    assert owner.quit() == 0


def test_without_broker_nothing_connects(sandbox):
    client = sandbox.spawn([binary("bus_client")])
    assert client.wait() == 1
    assert client.stdout.text == "connect failed\n"

    result = sandbox.ubus("list")
    assert result.returncode != 0
    assert result.stderr == "Failed to connect to ubus\n"
    assert sandbox.ubus("-S", "call", "x", "y").stderr == ""

    # A socket left behind by a broker that was killed is no broker either.
    broker = sandbox.start_broker()
    broker.signal(signal.SIGKILL)
    broker.wait()
    assert (sandbox.bus_dir / "ubus.sock").exists()
    assert sandbox.ubus("list").stderr == "Failed to connect to ubus\n"
