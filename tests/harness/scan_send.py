"""Scan messages for scan-send (tests/helpers/scan_send.c), the scan producer
of the tests, the demo and the emulated access point.

A message is a dict: "ifname", written into each record without its own;
"records", each a dict of "bssid", the numbers (frequency, value_a,
value_b, rank_value, value_d, value_c, compat_code; 0 when left out) and
perhaps an "ifname"; and, for what no well-behaved producer posts, "type",
"result_count" and "text_length".
"""

from sandbox import tool

NUMBERS = ("frequency", "value_a", "value_b", "rank_value", "value_d", "value_c", "compat_code")
SETTINGS = (("type", "type"), ("count", "result_count"), ("length", "text_length"))


def _is_word(name):
    return len(name.encode()) <= 100 and name.split() == [name]


def text(messages, repeat=1):
    """scan-send's input: each message, posted repeat times."""
    lines = []
    for message in messages:
        ifname = message.get("ifname", "")
        lines += [f"{word} {message[key]}" for word, key in SETTINGS if key in message]
        for record in message.get("records", []):
            lines.append(" ".join(["ap", record["bssid"],
                                   *(str(record.get(name, 0)) for name in NUMBERS)]))
            # A name that is no word, or the record's own, goes on a line of its own.
            if "ifname" in record or not _is_word(ifname):
                lines.append(f"name {record.get('ifname', ifname)}")
        lines.append(f"post {ifname if _is_word(ifname) else '-'}"
                     + (f" {repeat}" if repeat > 1 else ""))
    return "\n".join(lines) + "\n"


def post(sandbox, *messages):
    """Post the messages, in order, on the sandbox's scan queue."""
    result = sandbox.run([tool("scan-send")], input=text(messages).encode(),
                         capture_output=True)
    assert result.returncode == 0, f"scan-send: {result.stderr.decode().strip()}"
