"""The production pinrig on the platform's libgpiod."""

import re
import subprocess

from sandbox import SANITIZED, binary

NO_CHIP = "Error opening gpiochip: No such file or directory\n"


def test_without_any_chip(sandbox):
    # An empty /dev inside the sandbox: no chip of the machine can be touched.
    sandbox.run(["mount", "-t", "tmpfs", "-o", "mode=0755", "nodev", "/dev"], check=True)
    assert sandbox.run(["sh", "-c", "ls -A /dev"], capture_output=True, text=True).stdout == ""
    run = sandbox.run([binary("pinrig"), "-g", "status_led", "-d", "out", "-v", "1"],
                      capture_output=True, text=True)
    assert (run.returncode, run.stdout) == (1, "")
    assert run.stderr == NO_CHIP * 2 + "Error: GPIO line status_led not found on any gpiochip\n"


def test_links_libgpiod_and_needs_no_cxx_runtime():
    exe = binary("pinrig")
    dynamic = subprocess.run(["readelf", "-d", exe], capture_output=True, text=True,
                             check=True).stdout
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[(.+?)\]", dynamic)
    assert "libgpiod.so.3" in needed
    undefined = subprocess.run(["nm", "-D", "-u", exe], capture_output=True, text=True,
                               check=True).stdout
    assert not re.findall(r"\S+@(?:GLIBCXX|CXXABI)\S*", undefined)
    if not SANITIZED:  # the sanitizer runtimes bring libstdc++ along themselves
        assert not [lib for lib in needed if lib.startswith("libstdc++")], needed
