"""Messages no well-behaved producer posts: airsift reads only what it got,
keeps the queue moving and keeps its lookups and texts well-formed."""

from airsift_support import (SENT, WIRELESS, ap, configure, listed, next_report, post,
                             queue_messages, scan, start, stderr_after_start, subscribe)

RECORD = 164
TEXT = 10504


def test_count_above_what_the_text_holds(bus):
    configure(bus, max_top_access_points="64")
    daemon = start(bus)
    subscriber = subscribe(bus, daemon)

    full = [ap(f"00:00:00:00:{i // 256:02X}:{i % 256:02X}", rank_value=i) for i in range(64)]
    post(bus, scan(full, result_count=2**32 - 1))
    report = next_report(subscriber)
    assert report["compatible_ap_count"] == 64

    # Three announced, and two and a half sent, or all but the third's last
    # 4 bytes (the count's 4 bytes taken into account): the two whole ones count.
    three = [ap("00:00:00:00:00:01", rank_value=1), ap("00:00:00:00:00:02", rank_value=2),
             ap("00:00:00:00:00:03", rank_value=3)]
    for length in (4 + 2 * RECORD + RECORD // 2, 4 + 3 * RECORD - 4):
        post(bus, scan(three, text_length=length))
        report = next_report(subscriber)
        assert (report["compatible_ap_count"], report["incompatible_ap_count"]) == (2, 0)
        assert [line.split("|")[0] for line in listed(report)] == ["00:00:00:00:00:02",
                                                                    "00:00:00:00:00:01"]

    # Not even slot 0 whole, and not even the count.
    post(bus, scan(three, text_length=100))
    post(bus, scan(three, text_length=3))
    daemon.stderr.wait_for("dropped.\n")
    assert stderr_after_start(daemon) == (
        "UBus airsift_ubus_telemetry: loading subscribers (has_subscribers=1)\n"
        "Received 4294967295 scan results.\n"
        "Scan result count 4294967295 too large, using 64 records.\n" + SENT +
        "Received 3 scan results.\n"
        "Scan result count 3 too large, using 2 records.\n" + SENT +
        "Received 3 scan results.\n"
        "Scan result count 3 too large, using 2 records.\n" + SENT +
        "Received 3 scan results.\n"
        "Scan result count 3 too large, using 0 records.\n"
        "Scan result text of 3 bytes too short, dropped.\n")
    assert subscriber.pending() == 0


def test_oversized_text_does_not_block_the_queue(bus):
    configure(bus)
    daemon = start(bus)
    subscriber = subscribe(bus, daemon)

    post(bus, scan([ap("00:00:00:00:00:01")], text_length=TEXT + 1),
         scan([ap("00:00:00:00:00:02")]),
         scan([ap("00:00:00:00:00:03")], text_length=60000),
         scan([ap("00:00:00:00:00:04")]))
    assert [listed(next_report(subscriber)) for _ in range(2)] == [
        ["00:00:00:00:00:02|1|1|-60|0|0|0|0"], ["00:00:00:00:00:04|1|1|-60|0|0|0|0"]]
    daemon.stderr.wait_for(SENT, count=2)
    assert list(queue_messages(bus).values()) == [("666", 0)]
    assert stderr_after_start(daemon).count(
        "Scan result text longer than 10504 bytes, dropped.\n") == 2


def test_interface_name_without_its_nul(bus):
    configure(bus)
    # Its section is there, but the reader looks the option up by a path cut
    # at 127 bytes: "vornel_cur_wireless.<100 bytes>.wifi_i", which is not.
    bus.write_uci("vornel_cur_wireless", WIRELESS + f"\nconfig wifi-iface '{'a' * 100}'\n"
                                                    "\toption wifi_iface 'phy9'\n")
    daemon = start(bus)

    # Slot 1 follows the 101 bytes of slot 0's name directly; reading on
    # would run into its frequency, "BBBB".
    post(bus, scan([ap("00:00:00:00:00:01") | {"ifname": "a" * 101},
                    ap("00:00:00:00:00:02", frequency=0x42424242)], result_count=1))
    daemon.stderr.wait_for("for " + "a" * 100)
    daemon.stderr.wait_for("\n", count=3)
    assert stderr_after_start(daemon) == (
        "Received 1 scan results.\n"
        "[uci_get_string_value] Option wifi_iface introuvable ou invalide"
        "Failed to get physical wireless interface name for " + "a" * 100 + "\n")


def test_interface_name_must_be_a_plain_section_name(bus):
    configure(bus)
    daemon = start(bus)
    subscriber = subscribe(bus, daemon)

    # Each of these would otherwise reach into the configuration as a
    # path: "@wifi-iface[0]" even finds wlan0's phy0.
    hostile = ["@wifi-iface[0]", "wlan0.wifi_iface", "wlan0 ", "", "wlän0", "*"]
    post(bus, *[scan([ap("00:00:00:00:00:01")], ifname=name) for name in hostile])
    post(bus, scan([ap("00:00:00:00:00:02")], ifname="Wlan_0"))
    daemon.stderr.wait_for("for Wlan_0\n")
    bus.write_uci("vornel_cur_wireless", "config wifi-iface 'Wlan_0'\n\toption wifi_iface 'phy9'\n")
    post(bus, scan([ap("00:00:00:00:00:03")], ifname="Wlan_0"))
    assert next_report(subscriber)["phy_ifname"] == "phy9"

    expected = "".join("Received 1 scan results.\n"
                       f"Failed to get physical wireless interface name for {name}\n"
                       for name in hostile)
    assert stderr_after_start(daemon).startswith(
        "UBus airsift_ubus_telemetry: loading subscribers (has_subscribers=1)\n" + expected)



def test_name_uci_made_up_for_an_anonymous_section_is_no_interface(bus):
    configure(bus)
    # Added as an engineer would: uci names the new section itself.
    anonymous = bus.uci("add", "vornel_cur_wireless", "wifi-iface").stdout.strip()
    bus.uci("set", f"vornel_cur_wireless.{anonymous}.wifi_iface=phy7")
    bus.uci("commit", "vornel_cur_wireless")
    assert bus.uci("get", f"vornel_cur_wireless.{anonymous}.wifi_iface").stdout == "phy7\n"
    daemon = start(bus)
    subscriber = subscribe(bus, daemon)

    post(bus, scan([ap("00:00:00:00:00:01")], ifname=anonymous),
         scan([ap("00:00:00:00:00:02")], ifname="wlan1"))
    assert next_report(subscriber)["phy_ifname"] == "phy1"
    daemon.stderr.wait_for(SENT)
    assert stderr_after_start(daemon) == (
        "UBus airsift_ubus_telemetry: loading subscribers (has_subscribers=1)\n"
        "Received 1 scan results.\n"
        "[uci_get_string_value] Option wifi_iface introuvable ou invalide"
        f"Failed to get physical wireless interface name for {anonymous}\n"
        "Received 1 scan results.\n" + SENT)
