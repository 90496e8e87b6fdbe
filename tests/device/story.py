"""What the emulated access point is fed: the demo's configuration, log lines
and scans (scripts/demo/scenario.py) with fixed time stamps, one scan of a
full 64 records, the load of 1,000 full scans and 10,000 log lines, the
flood of full scans, and the image's users with the consumer's ACL file.

files() gives every file the guest finds, by its path in the guest.
"""

import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "scripts" / "demo"))
sys.path.insert(0, str(ROOT / "tests" / "harness"))

import scenario  # noqa: E402
from scan_send import text as scan_text  # noqa: E402

# The log's stamps: the demo's stretch of log, as of this moment.
NOW = 1796680822.0
LOAD_SCANS = 1000
LOAD_LINES = 10000
# More full scans than the flood can post before it is stopped.
FLOOD_SCANS = 2000000000

# The image's users: one for each telemetry daemon, the consumer of their
# telemetry, nobody, and a user without rights to the GPIO chips.
PASSWD = """root:x:0:0:root:/:/bin/sh
airsift:x:101:101:airsift:/var/empty:/bin/false
linetap:x:102:102:linetap:/var/empty:/bin/false
collector:x:103:103:collector:/var/empty:/bin/false
nobody:x:65534:65534:nobody:/var/empty:/bin/false
user:x:1000:1000:user:/tmp:/bin/sh
"""
GROUP = "root:x:0:\nairsift:x:101:\nlinetap:x:102:\ncollector:x:103:\nnogroup:x:65534:\nuser:x:1000:\n"
# The consumer's own ACL file, beside those the install put there.
COLLECTOR_ACL = """{
	"user": "collector",
	"subscribe": [ "telemetry_airsift", "telemetry_linetap" ]
}
"""

RELOAD_SCRIPT = """#!/bin/sh
# The device's reload script in this image: tells which run this is and when.
echo run >> /tmp/run/reknit.runs
echo "reknit: reloading services (run $(wc -l < /tmp/run/reknit.runs))" >> /tmp/run/reknit.log
cut -d' ' -f1 /proc/uptime >> /tmp/run/reknit.times
"""


def full_scan():
    """64 access points, compatible and not, on two bands, each ranked
    apart from the others (29 * i mod 64 runs through every number below
    64), so the report's order owes nothing to the sort's handling of ties."""
    codes = (1, 0, 2, 3, 5, 4, 1, 9)
    frequencies = (2412, 2437, 2462, 5180, 5500, 5745)
    return {"ifname": "wlan1", "records": [
        scenario.access_point(f"02:00:5E:10:00:{i:02X}", frequencies[i % 6], -40 - (i * 29) % 64,
                     codes[i % 8], width=(20, 40, 80)[i % 3], age_ms=100 * (i % 7))
        for i in range(64)]}


def log_lines():
    return scenario.log_lines(now=NOW)


def load_lines():
    """Ten distinct lines, over and over: the demo's, a line without any
    stamp, one of quotes, one at the highest severity."""
    lines = log_lines() + [
        "kernel: no stamp at all",
        f'[{NOW:.3f}] 3|2| hostapd: "wlan0" "STA" "left"',
        f"[{NOW:.3f}] 0|0| kernel: watchdog: CPU1: hard lockup",
    ]
    return lines * (LOAD_LINES // len(lines))


def uci_files():
    return {f"etc/config/{package}": scenario.uci_file(package)
            for package in scenario.UCI}


def files():
    """Path in the guest -> (text, mode)."""
    out = {path: (text, 0o644) for path, text in uci_files().items()}
    out.update({
        "collectd/vornel_scan_result": ("", 0o644),
        "sbin/reknit": (RELOAD_SCRIPT, 0o755),
        "test/story/log.txt": ("\n".join(log_lines()) + "\n", 0o644),
        "test/story/scans.txt": (scan_text(scenario.SCANS + [full_scan()]), 0o644),
        "test/story/full-scan.txt": (scan_text([full_scan()]), 0o644),
        "test/story/load-scans.txt": (scan_text([full_scan()], LOAD_SCANS), 0o644),
        "test/story/load-log.txt": ("\n".join(load_lines()) + "\n", 0o644),
        "test/story/flood.txt": (scan_text([full_scan()], FLOOD_SCANS), 0o644),
        "etc/passwd": (PASSWD, 0o644),
        "etc/group": (GROUP, 0o644),
        "usr/share/acl.d/collector.json": (COLLECTOR_ACL, 0o644),
    })
    return out
