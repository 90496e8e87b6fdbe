"""airsift turns each scan on the queue into one "airsift" notification."""

import signal

from airsift_support import (RECEIVED_ONE, SENT, ap, configure, listed, milliseconds,
                             next_report, post, queue_messages, scan, start, stderr_after_start,
                             stop, subscribe)

WORKED_EXAMPLE = [
    ap("02:00:00:00:00:0F", compat_code=1, rank_value=-70, frequency=2437,
       value_a=40, value_b=-92, value_c=20, value_d=900),
    ap("02:00:00:00:00:11", compat_code=0, rank_value=-40, frequency=5200,
       value_a=10, value_b=-90, value_c=0, value_d=0),
    ap("02:1A:2B:3C:4D:5E", compat_code=3, rank_value=-52, frequency=5180,
       value_a=80, value_b=-95, value_c=6, value_d=1500),
]


def test_worked_example(bus):
    configure(bus)
    daemon = start(bus)
    subscriber = subscribe(bus, daemon)

    before = milliseconds()
    post(bus, scan(WORKED_EXAMPLE))
    report = next_report(subscriber)
    after = milliseconds()

    assert report["top_compatible_aps"] == (
        '["02:1A:2B:3C:4D:5E|3|36|-52|80|-95|6|1500", '
        '"02:00:00:00:00:0F|1|6|-70|40|-92|20|900"]')
    assert report["phy_ifname"] == "phy0"
    assert report["compatible_ap_count"] == 2
    assert report["incompatible_ap_count"] == 1
    assert before - 1 <= report["timestamp"] <= after + 1

    daemon.stderr.wait_for(SENT)
    assert stop(daemon) == 0
    assert stderr_after_start(daemon) == (
        "UBus airsift_ubus_telemetry: loading subscribers (has_subscribers=1)\n"
        "Received 3 scan results.\n"
        + SENT +
        "Signal 15 received, stopping daemon...\n")


def test_waiting_messages_are_reported_in_queue_order(bus):
    configure(bus)
    daemon = start(bus)
    subscriber = subscribe(bus, daemon)

    # Held still, the daemon finds them all waiting at its next tick: more
    # than one tick takes, so the last come in batches of their own.
    more = [f"00:00:00:00:01:{n:02X}" for n in range(37)]
    daemon.signal(signal.SIGSTOP)
    post(bus,
         scan([ap("00:00:00:00:00:01")]),
         scan([ap("00:00:00:00:00:02"), ap("00:00:00:00:00:03")], ifname="wlan1"),
         scan([ap("00:00:00:00:00:04", compat_code=0)] * 3),
         *(scan([ap(bssid)]) for bssid in more))
    daemon.signal(signal.SIGCONT)

    reports = [next_report(subscriber) for _ in range(3 + len(more))]
    assert [(r["phy_ifname"], r["compatible_ap_count"], r["incompatible_ap_count"])
            for r in reports[:3]] == [("phy0", 1, 0), ("phy1", 2, 0), ("phy0", 0, 3)]
    assert reports[2]["top_compatible_aps"] == "[]"
    assert [listed(r)[0].split("|")[0] for r in reports[3:]] == more
    daemon.stderr.wait_for(SENT, count=len(reports))
    assert stderr_after_start(daemon).endswith(
        "Received 1 scan results.\n" + SENT +
        "Received 2 scan results.\n" + SENT +
        "Received 3 scan results.\n" + SENT + (RECEIVED_ONE + SENT) * len(more))


def test_other_message_types_stay_on_the_queue(bus):
    configure(bus)
    post(bus, scan([ap("00:00:00:00:00:02")], type=2), scan([ap("00:00:00:00:00:01")]))
    daemon = start(bus)
    daemon.stderr.wait_for(SENT)

    (perms, waiting), = queue_messages(bus).values()
    assert perms == "666"
    assert waiting == 1
    assert stop(daemon) == 0
    assert stderr_after_start(daemon) == (
        "Received 1 scan results.\n" + SENT + "Signal 15 received, stopping daemon...\n")


def test_empty_scans_are_consumed_without_a_trace(bus):
    configure(bus)
    daemon = start(bus)
    subscriber = subscribe(bus, daemon)

    post(bus,
         scan([ap("00:00:00:00:00:01")], result_count=0),
         scan([], text_length=0),
         scan([ap("00:00:00:00:00:02")]))
    report = next_report(subscriber)
    assert listed(report) == ["00:00:00:00:00:02|1|1|-60|0|0|0|0"]
    daemon.stderr.wait_for(SENT)
    assert list(queue_messages(bus).values()) == [("666", 0)]
    assert stderr_after_start(daemon) == (
        "UBus airsift_ubus_telemetry: loading subscribers (has_subscribers=1)\n"
        "Received 1 scan results.\n" + SENT)
    assert subscriber.pending() == 0


def test_unknown_interface_drops_only_its_scan(bus):
    configure(bus)
    daemon = start(bus)
    subscriber = subscribe(bus, daemon)

    post(bus, scan([ap("00:00:00:00:00:01")], ifname="wlan7"))
    post(bus, scan([ap("00:00:00:00:00:02")], ifname="wlan1"))
    assert next_report(subscriber)["phy_ifname"] == "phy1"
    daemon.stderr.wait_for(SENT)

    # A section without the option, or with a list of that name, is
    # reported like a missing section.
    for count, entry in enumerate(("option mode 'sta'", "list wifi_iface 'phy2'"), 1):
        bus.write_uci("vornel_cur_wireless", f"config wifi-iface 'wlan0'\n\t{entry}\n")
        post(bus, scan([ap("00:00:00:00:00:03")], ifname="wlan0"))
        daemon.stderr.wait_for("for wlan0\n", count=count)

    # Without the package, the lookup fails and says nothing itself.
    bus.remove_uci("vornel_cur_wireless")
    post(bus, scan([ap("00:00:00:00:00:04")], ifname="wlan1"))
    daemon.stderr.wait_for("for wlan1\n")

    assert subscriber.pending() == 0
    assert stderr_after_start(daemon) == (
        "UBus airsift_ubus_telemetry: loading subscribers (has_subscribers=1)\n"
        "Received 1 scan results.\n"
        "[uci_get_string_value] Option wifi_iface introuvable ou invalide"
        "Failed to get physical wireless interface name for wlan7\n"
        "Received 1 scan results.\n" + SENT +
        "Received 1 scan results.\n"
        "[uci_get_string_value] Option wifi_iface introuvable ou invalide"
        "Failed to get physical wireless interface name for wlan0\n"
        "Received 1 scan results.\n"
        "[uci_get_string_value] Option wifi_iface introuvable ou invalide"
        "Failed to get physical wireless interface name for wlan0\n"
        "Received 1 scan results.\n"
        "Failed to get physical wireless interface name for wlan1\n")


def test_reports_go_out_without_subscribers(bus):
    configure(bus)
    daemon = start(bus)
    post(bus, scan(WORKED_EXAMPLE))
    daemon.stderr.wait_for(SENT)
    assert stderr_after_start(daemon) == "Received 3 scan results.\n" + SENT
