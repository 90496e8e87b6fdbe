"""What the demo feeds the system: configuration, log lines, scans, GPIO chips."""

import time

# Every option the daemons read has a value: three access points per scan
# report, log lines up to "notice" (5) pass, and both sample interfaces
# name their physical interface. Package -> [(type, section, options)].
UCI = {
    "luci_statistics": [
        ("statistics", "airsift_ubus_telemetry", {"max_top_access_points": "3"}),
        ("statistics", "linetap_ubus_telemetry", {"min_severity": "5"}),
    ],
    "vornel_cur_wireless": [
        ("wifi-iface", "wlan0", {"wifi_iface": "phy0"}),
        ("wifi-iface", "wlan1", {"wifi_iface": "phy1"}),
    ],
}


def uci_file(package):
    """The package as uci keeps it in /etc/config."""
    return "\n".join(f"config {kind} '{section}'\n" +
                     "".join(f"\toption {name} '{value}'\n" for name, value in options.items())
                     for kind, section, options in UCI[package])


# The reload script: says which run this is, counting in a file of the demo.
RELOAD_SCRIPT = """#!/bin/sh
echo run >> '{runs}'
echo "reknit: reloading services (run $(wc -l < '{runs}'))"
"""


def log_lines(now=None):
    """A stretch of the system log: facility|severity|text after the stamp."""
    now = time.time() if now is None else now
    entries = [
        (3, 6, "dhcpd[1203]: DHCPACK(br0) 192.168.1.23 3c:22:fb:10:aa:01 laptop"),
        (0, 4, "kernel: wlan1: DFS radar detected on channel 52, moving to channel 36"),
        (3, 5, "netmgr: interface 'wan' is now up"),
        (3, 7, "wifid: wlan0: STA 3c:22:fb:10:aa:01 WPA: group key handshake completed"),
        (4, 3, "sshd[1544]: Bad password attempt for 'root' from 192.168.1.50:51234"),
        (3, 4, 'httpd[1388]: GET "/cgi-bin/admin/network" refused for 192.168.1.50'),
    ]
    lines = [f"[{now - 5 + i * 0.731:.3f}] {facility}|{severity}| {text}"
             for i, (facility, severity, text) in enumerate(entries)]
    # A continuation line, as a kernel oops prints them: no stamp, no severity.
    lines.insert(3, "    Call trace: wifi_rx_complete+0x2c/0x40")
    return lines


def access_point(bssid, frequency, rank_value, compat_code, width=20, age_ms=300):
    """One access point as the scanner reports it (noise and SNR beside the rank)."""
    return dict(bssid=bssid, frequency=frequency, rank_value=rank_value,
                compat_code=compat_code, value_a=rank_value + 95, value_b=-95,
                value_c=width, value_d=age_ms)


SCANS = [
    {"ifname": "wlan0", "records": [
        access_point("3C:22:FB:10:AA:01", 2437, -48, 1),
        access_point("A0:04:60:5E:11:C2", 2412, -71, 2),
        access_point("C4:AD:34:9B:E0:07", 2462, -63, 0, age_ms=1200),
        access_point("F4:92:BF:0A:77:10", 2437, -55, 3, width=40),
        access_point("B8:27:EB:44:01:9D", 2472, -82, 1, age_ms=2400),
    ]},
    {"ifname": "wlan1", "records": [
        access_point("3C:22:FB:10:AA:02", 5180, -52, 1, width=80),
        access_point("E8:48:B8:C8:20:00", 5500, -67, 5, width=80),
        access_point("F4:92:BF:0A:77:11", 5745, -58, 4, width=40),
    ]},
    {"ifname": "wlan0", "records": [
        access_point("DA:A1:19:00:00:01", 2412, -77, 0),
        access_point("DA:A1:19:00:00:02", 2437, -80, 9),
    ]},
]

# config.change notifications in the burst.
CHANGES = 3

GPIO_CHIPS = {"chips": {
    "/dev/gpiochip0": {"lines": [
        {"name": "button_reset"},
        {"name": "led_wlan", "direction": "input", "value": 0, "active_low": False},
        {"name": "led_power", "direction": "output", "value": 1},
    ]},
    "/dev/gpiochip1": {"lines": [{"name": "poe_enable", "direction": "output", "value": 1}]},
}}
GPIO_LINE = ("/dev/gpiochip0", 1)
PINRIG_ARGS = ["-g", "led_wlan", "-d", "out", "-v", "1"]


# For a second shell, in --follow mode.
SAMPLE_SCAN = {"ifname": "wlan1", "records": [
    {"bssid": "02:00:00:00:00:AA", "frequency": 5240, "rank_value": -45, "compat_code": 1}]}


def sample_log_line():
    return f"[{time.time():.3f}] 3|3| dhcp6d[1702]: failed to send to ff02::1%br0"
