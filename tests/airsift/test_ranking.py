"""Which access points a report lists, and in which order."""

from airsift_support import (SENT, ap, configure, listed, next_report, post, scan, start,
                             statistics, subscribe)


def bssids(report):
    return [line.split("|")[0] for line in listed(report)]


# Both signs and both ends of the 32-bit range: the order must hold where
# an unsigned or subtracting comparison would not.
FIVE = [ap(f"00:00:00:00:00:0{i}", rank_value=rank)
        for i, rank in enumerate([-80, 40, -2**31, 2**31 - 1, -60], start=1)]


def test_max_top_access_points_is_read_for_every_scan(bus):
    configure(bus, max_top_access_points=None)
    daemon = start(bus)
    subscriber = subscribe(bus, daemon)

    def report_with(setting):
        if setting is not None:
            bus.write_uci("luci_statistics", statistics(setting))
        post(bus, scan(FIVE))
        return next_report(subscriber)

    default = report_with(None)
    assert bssids(default) == ["00:00:00:00:00:04", "00:00:00:00:00:02", "00:00:00:00:00:05",
                               "00:00:00:00:00:01", "00:00:00:00:00:03"]
    daemon.stderr.wait_for(
        "[uci_get_int_value] Option max_top_access_points introuvable ou invalide, "
        "retour valeur par défaut: 20" + SENT)

    assert bssids(report_with("1")) == ["00:00:00:00:00:04"]
    assert bssids(report_with("50")) == bssids(default)
    for nothing in ("0", "-3", "abc"):
        report = report_with(nothing)
        assert report["top_compatible_aps"] == "[]", nothing
        assert (report["compatible_ap_count"], report["incompatible_ap_count"]) == (5, 0)
    daemon.stderr.wait_for(SENT, count=6)
    assert "introuvable" not in daemon.stderr.text.split(SENT, 1)[1]


def test_a_setting_changed_with_uci_applies_to_the_next_scan(bus):
    # As an engineer changes it on the device: "uci set" is seen by the next
    # lookup before it is committed, "uci revert" takes it back.
    configure(bus, max_top_access_points="20")
    daemon = start(bus)
    subscriber = subscribe(bus, daemon)
    option = "luci_statistics.airsift_ubus_telemetry.max_top_access_points"

    def listed_after(*command):
        bus.uci(*command)
        post(bus, scan(FIVE))
        return bssids(next_report(subscriber))

    assert listed_after("set", f"{option}=2") == ["00:00:00:00:00:04", "00:00:00:00:00:02"]
    assert listed_after("commit", "luci_statistics") == ["00:00:00:00:00:04",
                                                         "00:00:00:00:00:02"]
    assert "max_top_access_points '2'" in (bus.config_dir / "luci_statistics").read_text()
    assert listed_after("set", f"{option}=1") == ["00:00:00:00:00:04"]
    assert len(listed_after("revert", "luci_statistics")) == 2


def test_codes_one_to_four_are_compatible(bus):
    configure(bus)
    daemon = start(bus)
    subscriber = subscribe(bus, daemon)

    records = [ap(f"00:00:00:00:00:{code:02X}", compat_code=code, rank_value=-code)
               for code in (0, 1, 2, 3, 4, 5, 255)]
    post(bus, scan(records))
    report = next_report(subscriber)
    assert (report["compatible_ap_count"], report["incompatible_ap_count"]) == (4, 3)
    assert [line.split("|")[:2] for line in listed(report)] == [
        ["00:00:00:00:00:01", "1"], ["00:00:00:00:00:02", "2"],
        ["00:00:00:00:00:03", "3"], ["00:00:00:00:00:04", "4"]]

    post(bus, scan([ap("00:00:00:00:00:00", compat_code=0), ap("00:00:00:00:00:05", compat_code=5)]))
    report = next_report(subscriber)
    assert (report["compatible_ap_count"], report["incompatible_ap_count"]) == (0, 2)
    assert report["top_compatible_aps"] == "[]"
    daemon.stderr.wait_for(SENT, count=2)



def test_equal_ranks_are_listed_side_by_side(bus):
    configure(bus)
    daemon = start(bus)
    subscriber = subscribe(bus, daemon)

    post(bus, scan([ap("00:00:00:00:00:01", rank_value=-30), ap("00:00:00:00:00:02", rank_value=-50),
                    ap("00:00:00:00:00:03", rank_value=-30)]))
    assert bssids(next_report(subscriber)) in (
        ["00:00:00:00:00:01", "00:00:00:00:00:03", "00:00:00:00:00:02"],
        ["00:00:00:00:00:03", "00:00:00:00:00:01", "00:00:00:00:00:02"])
    daemon.stderr.wait_for(SENT)
