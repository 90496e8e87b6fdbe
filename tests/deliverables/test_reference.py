"""docs/reference.md holds true of the programs: its settings table names the
options and defaults the sources read, its notification tables and examples
give the fields a real run publishes, in order, and its usage text is what
pinrig prints."""

import json
import re
import subprocess
from pathlib import Path

from sandbox import DEFAULT_TIMEOUT, binary, emulated, helper

ROOT = Path(__file__).resolve().parents[2]
REFERENCE = (ROOT / "docs" / "reference.md").read_text()
# A call of a uci reader: package, section (quoted, or a variable), option, default.
UCI_CALL = re.compile(r'uci_get_\w+\(\s*"(\w+)",\s*("?)(\w+)\2,\s*"(\w+)"(?:,\s*(-?\d+))?\)')


def section(title):
    """The text under a heading, up to the next heading of its level or above."""
    hashes, body = re.search(rf"^(#+) {re.escape(title)}$(.*)", REFERENCE, re.M | re.S).groups()
    end = re.search(rf"^#{{1,{len(hashes)}}} ", body, re.M)
    return body[:end.start()] if end else body


def tables(text):
    """Each table of text as rows of cells, header first, without backticks."""
    return [[[cell.strip().strip("`") for cell in re.split(r"(?<!\\)\|", line)[1:-1]]
             for line in table.splitlines() if not re.fullmatch(r"[|\- ]+", line)]
            for table in re.findall(r"(?:^\|.*\n)+", text, re.M)]


def shape(message):
    """The keys of a message and of its tables, in order."""
    if not isinstance(message, dict):
        return None
    return [(key, shape(value)) for key, value in message.items()]


def test_settings_are_the_options_and_defaults_the_sources_read():
    read = {(f"{package}.{name if quoted else '<>'}.{option}", default or None)
            for folder in ("telemetry", "confwatch", "pinrig", "daemon")
            for source in (ROOT / folder).rglob("*.cpp")
            for package, quoted, name, option, default in UCI_CALL.findall(source.read_text())}
    documented = {(re.sub(r"<\w+>", "<>", option), (re.match(r"-?\d+", default) or [None])[0])
                  for option, _, default, _ in tables(section("The settings"))[0][1:]}
    assert documented == read


def test_notifications_carry_the_documented_fields(bus):
    bus.write_uci("vornel_cur_wireless", "config wifi-iface 'wlan0'\n\toption wifi_iface 'phy0'\n")
    bus.create_scan_key_path()
    airsift = bus.spawn([binary("airsift")])
    linetap = bus.spawn([binary("linetap")], stdin=subprocess.PIPE)
    airsift.stderr.wait_for("Daemon started")
    bus.wait_for_object("telemetry_linetap")
    subscriber = bus.subscribe("telemetry_airsift", "telemetry_linetap")
    linetap.stderr.wait_for("(has_subscribers=1)")
    linetap.stdin.write(b"[1234.567] 3|4| some text\n")
    linetap.stdin.flush()
    bus.run([helper("scan-send")], input=b"ap 02:00:00:00:00:01 2412 0 0 -60 0 0 1\npost wlan0\n",
            check=True)

    published = dict(subscriber.next() for _ in range(2))
    assert set(published) == {"airsift", "syslog"}
    for kind, payload in published.items():
        text = section(f'The "{kind}" notification')
        header, *rows = tables(text)[0]
        table = re.search(r"data\.(\w+)", header[0]).group(1)
        fields = [row[0] for row in rows]

        def documented(present):
            return [("msg_type", None), ("data", [(table, [(f, None) for f in present])])]
        assert shape(payload) == documented(fields), kind
        # An example may leave out a field that is not always there.
        examples = [json.loads(line) for line in re.findall(r"^\{ .*\}$", text, re.M)]
        assert examples, kind
        for example in examples:
            message = example[kind]
            assert shape(message) == documented([f for f in fields if f in message["data"][table]])


def test_usage_is_what_pinrig_prints():
    usage = re.search(r"```\n(Usage: .*?)```", section("Usage"), re.S).group(1)
    run = subprocess.run(emulated([binary("pinrig")]), capture_output=True, text=True,
                         timeout=DEFAULT_TIMEOUT)
    assert (run.returncode, run.stdout, run.stderr) == (255, "", usage)
