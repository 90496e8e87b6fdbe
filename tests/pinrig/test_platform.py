"""The production pinrig on the platform's libgpiod."""

import re
import subprocess

from conftest import not_found
from sandbox import binary


def test_without_any_chip(no_chips):
    run = no_chips.run("-g", "status_led", "-d", "out", "-v", "1")
    assert (run.status, run.stdout, run.stderr) == (1, "", not_found("status_led"))


def test_links_the_platform_libgpiod():
    dynamic = subprocess.run(["readelf", "-d", binary("pinrig")], capture_output=True,
                             text=True, check=True).stdout
    assert "libgpiod.so.3" in re.findall(r"\(NEEDED\)\s+Shared library: \[(.+?)\]", dynamic)
