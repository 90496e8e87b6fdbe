"""The "syslog" notifications of telemetry_linetap, as a subscriber sees them."""

from broker_lag import broker_stopped, wait_asleep_or_gone
from bus_monitor import BusMonitor
from linetap_helpers import OBJECT, END, judged, numbered_lines, send, start_on_bus

SUBSCRIBED = "UBus linetap: changement d'abonnés (has_subscribers=1)\n"
UNSUBSCRIBED = "UBus linetap: changement d'abonnés (has_subscribers=0)\n"


def log_of(notification):
    kind, payload = notification
    assert kind == "syslog"
    assert list(payload) == ["msg_type", "data"]
    assert payload["msg_type"] == "status"
    assert list(payload["data"]) == ["log"]
    return payload["data"]["log"]


def subscribe(sb, daemon):
    subscriber = sb.subscribe(OBJECT)
    daemon.stderr.wait_for(SUBSCRIBED)
    return subscriber


def test_accepted_lines_reach_subscribers(bus):
    daemon = start_on_bus(bus)
    subscriber = subscribe(bus, daemon)
    send(daemon, "[1234.567] 3|4| some text\n"
                 "3|4| some text\n"
                 "[1.5] 1|5| rejected\n"
                 "[4294967296.5] 1|2| say \"hi\" \\n\r\n"
                 "\0 after a NUL\n")
    assert list(log_of(subscriber.next()).items()) == [("timestamp", 1234567),
                                                         ("message", "3|4| some text")]
    assert log_of(subscriber.next()) == {"message": "3|4| some text"}
    # A stamp beyond 32 bits arrives whole.
    assert log_of(subscriber.next()) == {"timestamp": 42949672965,
                                         "message": '1|2| say \\"hi\\" \\n\r'}
    # A line starting with NUL reads as empty text, yet is a line.
    assert log_of(subscriber.next()) == {"message": ""}
    daemon.close_stdin()
    assert daemon.wait() == 0
    assert subscriber.pending() == 0
    assert "Erreur" not in daemon.stderr.text


def test_short_lines_and_padded_stamps_arrive_as_written(bus):
    daemon = start_on_bus(bus)
    subscriber = subscribe(bus, daemon)
    send(daemon, "x\n[0012.5] 1|1| padded\n[0089] 1|1| no dot\n")
    assert log_of(subscriber.next()) == {"message": "x"}
    # Stamps are decimal, leading zeros and all: not octal's 85, nor 0.
    assert log_of(subscriber.next()) == {"timestamp": 125, "message": "1|1| padded"}
    assert log_of(subscriber.next()) == {"timestamp": 89, "message": "1|1| no dot"}
    daemon.close_stdin()
    assert daemon.wait() == 0
    assert subscriber.pending() == 0


def test_every_line_of_a_burst_reaches_a_broker_that_lags(bus):
    # The broker reads none of it before linetap has seen the end of its
    # input; linetap's teardown waits for the broker to answer the removal
    # of its object, sent after the last line's notification, so the
    # broker has read them all before linetap closes the connection.
    daemon = start_on_bus(bus)
    subscriber = subscribe(bus, daemon)
    lines = numbered_lines(60)
    with broker_stopped(bus.broker):
        send(daemon, "".join(line + "\n" for line in lines))
        daemon.close_stdin()
        daemon.stderr.wait_for(END)
        wait_asleep_or_gone(daemon)
    assert daemon.wait() == 0
    accepted = [line for i, line in enumerate(lines) if i % 8 <= 4]
    assert [log_of(subscriber.next())["message"] for _ in accepted] == [
        line.split("] ", 1)[1] for line in accepted]


def test_nothing_is_sent_or_said_without_subscribers(bus):
    monitor = BusMonitor(bus)
    daemon = start_on_bus(bus)
    send(daemon, "[1.0] 1|1| before\n")
    daemon.stderr.wait_for("Log accepted: [1.0] 1|1| before")

    subscriber = subscribe(bus, daemon)
    send(daemon, "[2.0] 1|1| while subscribed\n")
    assert log_of(subscriber.next())["message"] == "1|1| while subscribed"

    subscriber.process.kill()
    daemon.stderr.wait_for(UNSUBSCRIBED)
    send(daemon, "[3.0] 1|1| after\n")
    daemon.close_stdin()
    assert daemon.wait() == 0
    assert daemon.stderr.text == (judged("[1.0] 1|1| before", 1) + SUBSCRIBED
                                  + judged("[2.0] 1|1| while subscribed", 1) + UNSUBSCRIBED
                                  + judged("[3.0] 1|1| after", 1) + END)
    # What it asked of the broker, whether anyone would have heard it or not.
    monitor.sync()
    linetap = monitor.client(lambda m: m.type == "add_object" and m.attrs.get("objpath") == OBJECT,
                             f"the object {OBJECT}")
    notified = [m for m in monitor.received_from(linetap) if m.type == "notify"]
    assert [m.attrs["method"] for m in notified] == ["syslog"]
    assert log_of(("syslog", notified[0].attrs["data"]))["message"] == "1|1| while subscribed"
