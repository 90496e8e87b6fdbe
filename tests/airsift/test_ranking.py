"""Which access points a report lists, and in which order."""

from airsift_support import (SENT, ap, configure, listed, next_report, post, scan, start,
                             statistics, subscribe)


def bssids(report):
    return [line.split("|")[0] for line in listed(report)]


FIVE = [ap(f"00:00:00:00:00:0{i}", rank_value=rank)
        for i, rank in enumerate([-80, -40, -90, -20, -60], start=1)]


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


def test_values_pass_through_as_they_are(bus):
    configure(bus)
    daemon = start(bus)
    subscriber = subscribe(bus, daemon)

    post(bus, scan([
        ap("AB:CD:EF:01:23:45", compat_code=2, rank_value=-30, frequency=2484,
           value_a=-1, value_b=2147483647, value_c=-2147483648, value_d=4294967295),
        ap("00:00:00:00:00:01", rank_value=-30, frequency=2485),
        ap("00:00:00:00:00:02", rank_value=-31, frequency=5955),
    ]))
    lines = listed(next_report(subscriber))
    # Equal ranks are both listed, next to each other, in either order.
    assert sorted(lines[:2]) == [
        "00:00:00:00:00:01|1|-503|-30|0|0|0|0",
        "AB:CD:EF:01:23:45|2|14|-30|-1|2147483647|-2147483648|4294967295"]
    assert lines[2] == "00:00:00:00:00:02|1|191|-31|0|0|0|0"
    daemon.stderr.wait_for(SENT)
