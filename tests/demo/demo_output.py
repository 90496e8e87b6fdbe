"""Running the demo and reading what it prints."""

import re
from pathlib import Path

DEMO = Path(__file__).resolve().parents[2] / "scripts" / "demo" / "demo.py"
COMMAND = ["/usr/bin/python3", str(DEMO), "--short"]
PROCESSES = ["subscriber", "linetap", "airsift", "confwatch", "service", "ubusd"]


def summary(output):
    """The "key: value" lines after the summary heading."""
    _, found, rest = output.partition("\n== Summary\n")
    assert found, output[-3000:]
    return dict(re.findall(r"^   ([a-zA-Z ]+):\s+(.*)$", rest, re.M))


def exit_statuses(found):
    return dict(item.split() for item in found["exit statuses"].split(", "))


def sandbox_root(output):
    return Path(re.search(r"^   sandbox (\S+), ", output, re.M).group(1))
