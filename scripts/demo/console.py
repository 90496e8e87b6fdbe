"""The demo's live output: every process's lines under its name, as they come.

Each followed stream gets a thread that prints its lines as soon as they
are complete; one lock keeps lines whole. Notifications seen by the bus
subscriber are shown in a compact form rather than as raw JSON.
"""

import json
import sys
import threading
import time

from sandbox import TimeoutExpired

LABEL_WIDTH = 10


class Console:
    def __init__(self, out=sys.stdout):
        self._out = out
        self._lock = threading.Lock()
        self._relays = []

    def say(self, text=""):
        with self._lock:
            print(text, file=self._out, flush=True)

    def show(self, label, text):
        self.say(f"{label:>{LABEL_WIDTH}} | {text}")

    def follow(self, label, stream, render=None):
        """Print each line of stream under label until the stream ends."""
        relay = threading.Thread(target=self._relay, args=(label, stream, render or plain),
                                 daemon=True)
        relay.start()
        self._relays.append(relay)

    def finish(self, timeout=5):
        """Wait until the followed streams have ended and been printed."""
        for relay in self._relays:
            relay.join(timeout)

    def _relay(self, label, stream, render):
        while True:
            try:
                line = stream.next_line(timeout=0.1)
            except TimeoutExpired:
                if _ended(stream) and not stream.pending_lines():
                    return
                continue
            # A pseudo-terminal ends its lines with a carriage return too.
            for text in render(line.decode("utf-8", "replace").rstrip("\r")):
                self.show(label, text)


def _ended(stream):
    try:
        stream.wait_closed(0)
        return True
    except TimeoutExpired:
        return False


def plain(line):
    return [line]


def notification(line):
    """One `ubus subscribe` line, { "<type>": <message> }, made readable."""
    try:
        (kind, message), = json.loads(line).items()
        (section,) = message["data"].values()
        render = {"airsift": _scan_report, "syslog": _log_record}[kind]
        return render(section)
    except (ValueError, KeyError, TypeError, AttributeError):
        return [line]


def _scan_report(report):
    stamp = report.get("timestamp")
    # The emulated access point's reports come with their time left out.
    when = (time.strftime("scan of %H:%M:%S", time.localtime(stamp / 1000))
            if isinstance(stamp, int) else "time left out")
    lines = [f'airsift  {report["phy_ifname"]}: {report["compatible_ap_count"]} compatible, '
             f'{report["incompatible_ap_count"]} incompatible  ({when})']
    text = report["top_compatible_aps"]
    try:
        top = json.loads(text)
    except ValueError:
        return lines + [f"  top_compatible_aps {text}"]
    if not top:
        return lines + ["  top_compatible_aps []"]
    return lines + [f"  {rank}. {entry}" for rank, entry in enumerate(top, 1)]


def _log_record(record):
    stamp = record.get("timestamp", "no stamp")
    return [f'syslog   [{stamp}] {record["message"]}']
