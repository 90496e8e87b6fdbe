"""The ubus command-line client: output, exit statuses and time limits."""

from bus_helpers import BusClient
from sandbox import UBUS, wait_until


def test_list_shows_paths_in_order_and_methods_on_request(bus):
    owner = BusClient(bus)
    owner.add("net.wan")
    lan_id = owner.add("net.lan")
    owner.add("system")

    assert bus.ubus("list").stdout == "net.lan\nnet.wan\nsystem\n"
    assert bus.ubus("list", "net.*").stdout == "net.lan\nnet.wan\n"
    assert bus.ubus("-v", "list", "net.lan").stdout == (
        f"'net.lan' @{lan_id:08x}\n"
        '\t"echo":{"message":"String"}\n'
        '\t"deny":{}\n')


def test_call_prints_the_reply_and_fails_with_the_status(bus):
    BusClient(bus).add("svc")
    message = '{"message":"hi","n":5,"big":5000000000,"list":[true,"x"],"t":{"d":1.5}}'

    result = bus.ubus("call", "svc", "echo", message)
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout == (
        '{\n\t"message": "hi",\n\t"n": 5,\n\t"big": 5000000000,\n'
        '\t"list": [\n\t\ttrue,\n\t\t"x"\n\t],\n\t"t": {\n\t\t"d": 1.500000\n\t}\n}\n')
    compact = bus.ubus("-S", "call", "svc", "echo", message).stdout
    assert compact == ('{"message":"hi","n":5,"big":5000000000,'
                       '"list":[true,"x"],"t":{"d":1.500000}}\n')

    failures = {
        ("call", "svc", "deny"): (6, "Command failed: Permission denied\n"),
        ("call", "svc", "nothing"): (3, "Command failed: Method not found\n"),
        ("call", "svc", "echo", "[1]"): (255, "Failed to parse message data\n"),
        ("-S", "call", "svc", "deny"): (6, ""),
        ("frobnicate",): (254, None),
    }
    for args, (status, stderr) in failures.items():
        result = bus.ubus(*args)
        assert result.returncode == status, args
        if stderr is not None:
            assert result.stderr == stderr, args


def test_events_reach_listeners_by_pattern(bus):
    everything = bus.spawn([UBUS, "listen"], name="listen-all")
    config = bus.spawn([UBUS, "listen", "config.*"], name="listen-config")

    # Both listen once an event sent now reaches them.
    def listening():
        assert bus.ubus("send", "config.probe").returncode == 0
        return "config.probe" in everything.stdout.text and "config.probe" in config.stdout.text
    wait_until(listening, what="listeners registered")

    assert bus.ubus("send", "other", '{"a":1}').returncode == 0
    assert bus.ubus("send", "config.change", '{"package":"wireless"}').returncode == 0
    everything.stdout.wait_for('{ "config.change": {"package":"wireless"} }\n')
    config.stdout.wait_for('{ "config.change": {"package":"wireless"} }\n')
    assert '{ "other": {"a":1} }\n' in everything.stdout.text
    assert "other" not in config.stdout.text

    # The broker announces objects as they come.
    obj_id = BusClient(bus).add("late")
    everything.stdout.wait_for(f'{{ "ubus.object.add": {{"id":{obj_id},"path":"late"}} }}\n')


def test_wait_for_returns_once_every_object_is_there(bus):
    owner = BusClient(bus)
    owner.add("first")
    waiter = bus.spawn([UBUS, "-t", "20", "wait_for", "first", "second", "third"],
                       name="wait_for")
    owner.add("second")
    owner.add("third")
    assert waiter.wait() == 0

    result = bus.ubus("-t", "1", "wait_for", "first", "never")
    assert (result.returncode, result.stderr) == (7, "Command failed: Request timed out\n")


def test_time_limit_ends_subscribe_and_listen(bus):
    BusClient(bus).add("quiet")
    for args in (["subscribe", "quiet"], ["listen"]):
        result = bus.ubus("-t", "1", *args)
        assert (result.returncode, result.stdout, result.stderr) == (0, "", ""), args
    assert bus.ubus("-t", "1", "subscribe", "quiet", "missing").returncode == 4
