"""The production pinrig on the platform's libgpiod."""

import re
import subprocess

from sandbox import binary

NO_CHIP = "Error opening gpiochip: No such file or directory\n"


def test_without_any_chip(sandbox):
    # An empty /dev inside the sandbox: no chip of the machine can be touched.
    sandbox.run(["mount", "-t", "tmpfs", "-o", "mode=0755", "nodev", "/dev"], check=True)
    assert sandbox.run(["sh", "-c", "ls -A /dev"], capture_output=True, text=True).stdout == ""
    run = sandbox.run([binary("pinrig"), "-g", "status_led", "-d", "out", "-v", "1"],
                      capture_output=True, text=True)
    assert (run.returncode, run.stdout) == (1, "")
    assert run.stderr == NO_CHIP * 2 + "Error: GPIO line status_led not found on any gpiochip\n"


def test_links_the_platform_libgpiod():
    dynamic = subprocess.run(["readelf", "-d", binary("pinrig")], capture_output=True,
                             text=True, check=True).stdout
    assert "libgpiod.so.3" in re.findall(r"\(NEEDED\)\s+Shared library: \[(.+?)\]", dynamic)
