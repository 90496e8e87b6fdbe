"""Objects, subscriptions and notifications between real bus clients."""

import json
import signal

import pytest

from bus_helpers import BusClient, status_message
from sandbox import wait_until

OBJECT = "telemetry_test"


def wait_for_subscriber(owner, cli):
    """Notifies until `ubus subscribe` prints one: then it is subscribed."""
    def probe_arrived():
        assert owner.command(f"notify {OBJECT} probe 1000 x") == ["0"]
        return cli.pending() > 0
    wait_until(probe_arrived, what="ubus subscribe to get a notification")
    assert cli.next()[0] == "probe"
    while cli.pending():
        cli.next()


def test_has_subscribers_follows_first_arrival_and_last_departure(bus):
    owner = BusClient(bus, "owner")
    owner.add(OBJECT)
    watcher = BusClient(bus, "watcher")

    # First round: one subscriber unsubscribes, the other one is killed.
    assert watcher.subscribe(OBJECT) == 0
    assert owner.take("subscribers ") == f"subscribers {OBJECT} 1"
    cli = bus.subscribe(OBJECT)
    wait_for_subscriber(owner, cli)
    assert watcher.command(f"unsubscribe {OBJECT}")[1] == "0"
    owner.settle()
    assert owner.unread("subscribers ") == [], "a subscriber is still there"
    cli.process.kill()
    assert owner.take("subscribers ") == f"subscribers {OBJECT} 0"

    # Second round: the last subscriber leaves by unregistering at its exit.
    assert watcher.subscribe(OBJECT) == 0
    assert owner.take("subscribers ") == f"subscribers {OBJECT} 1"
    assert watcher.quit() == 0
    assert owner.take("subscribers ") == f"subscribers {OBJECT} 0"


def test_notification_reaches_every_subscriber_intact(bus):
    owner = BusClient(bus, "owner")
    owner.add(OBJECT)
    assert owner.command(f"notify {OBJECT} status -1 nobody listens") == ["0"]

    cli = bus.subscribe(OBJECT)
    owner.take("subscribers ")  # the command-line subscriber is in
    watcher = BusClient(bus, "watcher")
    assert watcher.subscribe(OBJECT) == 0

    assert owner.command(f"notify {OBJECT} status -1 3|4| some text") == ["0"]
    assert cli.process.stdout.next_line().decode() == (
        '{ "status": {"msg_type":"status","data":{"log":'
        '{"timestamp":1234567,"message":"3|4| some text"}}} }')
    assert watcher.take("notification ") == (
        'notification status {"msg_type":"status","data":{"log":'
        '{"timestamp":1234567,"message":"3|4| some text"}}}')

    # Characters that need escaping, and a positive timeout that waits for
    # both subscribers' replies.
    text = 'q"b\\s é {"x": [1]} \t end'
    assert owner.command(f"notify {OBJECT} config.change 5000 {text}") == ["0"]
    assert cli.next() == ("config.change", status_message(text))
    kind, payload = watcher.take("notification ").split(" ", 2)[1:]
    assert (kind, json.loads(payload)) == ("config.change", status_message(text))


@pytest.mark.parametrize("how", ["remove", "exit", "kill"])
def test_subscriber_learns_of_removal_with_the_object_id(bus, how):
    owner = BusClient(bus, "owner")
    obj_id = owner.add(OBJECT)
    watcher = BusClient(bus, "watcher")
    assert watcher.subscribe(OBJECT) == 0

    if how == "remove":
        assert owner.command(f"remove {OBJECT}") == [OBJECT, "0"]
    elif how == "exit":
        assert owner.quit() == 0
    else:
        owner.proc.signal(signal.SIGKILL)

    assert watcher.take("removed ") == f"removed {obj_id}"
    assert watcher.command(f"lookup {OBJECT}") == [OBJECT, "4", "0"]


def test_a_name_on_the_bus_is_refused_until_it_leaves(bus):
    first = BusClient(bus, "first")
    second = BusClient(bus, "second")
    first_id = first.add(OBJECT)
    assert second.command(f"add {OBJECT}")[:2] == [OBJECT, "2"]
    assert bus.ubus("list").stdout == f"{OBJECT}\n"

    assert first.command(f"remove {OBJECT}") == [OBJECT, "0"]
    second_id = second.add(OBJECT)
    assert second_id != first_id
    assert second.command(f"lookup {OBJECT}") == [OBJECT, "0", str(second_id)]


def test_lookups_of_missing_paths_fail_with_not_found(bus):
    client = BusClient(bus)
    assert client.command("lookup nothing") == ["nothing", "4", "0"]
    assert client.command("subscribe nothing")[1] == "4"
    for args in (["call", "nothing", "echo"], ["list", "nothing"], ["subscribe", "nothing"]):
        result = bus.ubus(*args)
        assert (result.returncode, result.stderr) == (4, "Command failed: Not found\n"), args


def test_notifications_arriving_during_synchronous_calls_keep_their_order(bus):
    owner = BusClient(bus, "owner")
    owner.add(OBJECT)
    watcher = BusClient(bus, "watcher")
    assert watcher.subscribe(OBJECT) == 0

    count = 400
    owner.send(f"flood {OBJECT} {count} 64")
    for _ in range(100):  # lookups that wait while notifications come in
        watcher.send("lookup nothing")
    assert owner.take("flood ") == f"flood 0 {count}"

    seqs = [json.loads(watcher.take("notification flood ").split(" ", 2)[2])["seq"]
            for _ in range(count)]
    assert seqs == list(range(count))
    for _ in range(100):
        watcher.take("lookup ")
