"""Running airsift in a sandbox, posting scans and reading its reports."""

import json
import signal
import subprocess
import time

import scan_send
from sandbox import binary, tool
from scan_send import post  # noqa: F401 (the tests post through here)

STARTED = "Daemon started. Listening for messages...\n"
SENT = "UBus notification successfully sent.\n"
RECEIVED_ONE = "Received 1 scan results.\n"

# wlan0 and wlan1 are configured; anything else is not.
WIRELESS = """config wifi-iface 'wlan0'
	option wifi_iface 'phy0'

config wifi-iface 'wlan1'
	option wifi_iface 'phy1'
"""


def statistics(max_top_access_points="20"):
    """luci_statistics with the airsift section, optionally without the option."""
    text = "config statistics 'airsift_ubus_telemetry'\n"
    if max_top_access_points is not None:
        text += f"\toption max_top_access_points '{max_top_access_points}'\n"
    return text


def configure(sandbox, max_top_access_points="20"):
    sandbox.write_uci("vornel_cur_wireless", WIRELESS)
    sandbox.write_uci("luci_statistics", statistics(max_top_access_points))
    sandbox.create_scan_key_path()


def ap(bssid, compat_code=1, rank_value=-60, frequency=2412, value_a=0, value_b=0,
       value_c=0, value_d=0):
    """One access-point record (scan_send.py)."""
    return dict(bssid=bssid, compat_code=compat_code, rank_value=rank_value,
                frequency=frequency, value_a=value_a, value_b=value_b, value_c=value_c,
                value_d=value_d)


def scan(records, ifname="wlan0", **overrides):
    """One scan-result message; overrides set type, result_count, text_length."""
    return dict(ifname=ifname, records=records, **overrides)


def flood(sandbox, producers=3):
    """Producers that post one-record scans on wlan0 without pause, each
    waiting only while the queue is full, until they are killed. Several,
    so that the queue stays full while one of them waits for the CPU."""
    def producer():
        process = sandbox.spawn([tool("scan-send")], stdin=subprocess.PIPE, name="scan-send")
        process.stdin.write(scan_send.text([scan([ap("00:00:00:00:00:01")])], 4000000000).encode())
        process.close_stdin()
        return process
    return [producer() for _ in range(producers)]


def start(sandbox):
    """Start airsift and wait until its loop is about to run."""
    daemon = sandbox.spawn([binary("airsift")])
    daemon.stderr.wait_for(STARTED)
    return daemon


def subscribe(sandbox, daemon):
    """Subscribe to telemetry_airsift; returns once airsift has seen it."""
    subscriber = sandbox.subscribe("telemetry_airsift")
    daemon.stderr.wait_for("(has_subscribers=1)\n")
    return subscriber


def next_report(subscriber):
    """The wireless_scan table of the next notification, checked for its shape."""
    kind, payload = subscriber.next()
    assert kind == "airsift"
    assert list(payload) == ["msg_type", "data"]
    assert payload["msg_type"] == "status"
    assert list(payload["data"]) == ["wireless_scan"]
    report = payload["data"]["wireless_scan"]
    assert list(report) == ["timestamp", "phy_ifname", "compatible_ap_count",
                            "incompatible_ap_count", "top_compatible_aps"]
    return report


def listed(report):
    """The report lines of top_compatible_aps (a JSON list of strings)."""
    return json.loads(report["top_compatible_aps"])


def stop(daemon, signum=signal.SIGTERM):
    daemon.signal(signum)
    return daemon.wait()


def queue_messages(sandbox):
    """Messages left on each queue of the sandbox, by key (ipcs -q)."""
    out = sandbox.run(["ipcs", "-q"], capture_output=True, text=True, check=True).stdout
    queues = {}
    for line in out.splitlines():
        fields = line.split()
        if fields and fields[0].startswith("0x"):
            key, _msqid, _owner, perms, _used, messages = fields[:6]
            queues[key] = (perms, int(messages))
    return queues


def milliseconds():
    return int(time.time() * 1000)


def stderr_after_start(daemon):
    """What airsift wrote after its start-up banner."""
    text = daemon.stderr.text
    assert text.startswith(STARTED), text
    return text[len(STARTED):]

