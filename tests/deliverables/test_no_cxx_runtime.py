"""What ships on the device needs no C++ runtime: none exists there."""

import re
import subprocess

import pytest

from sandbox import SANITIZED, binary


@pytest.mark.parametrize("name", ["airsift", "linetap", "confwatch", "pinrig"])
def test_needs_no_cxx_runtime(name):
    exe = binary(name)
    undefined = subprocess.run(["nm", "-D", "-u", exe], capture_output=True, text=True,
                               check=True).stdout
    assert not re.findall(r"\S+@(?:GLIBCXX|CXXABI)\S*", undefined)
    dynamic = subprocess.run(["readelf", "-d", exe], capture_output=True, text=True,
                             check=True).stdout
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[(.+?)\]", dynamic)
    if not SANITIZED:  # the sanitizer runtimes bring libstdc++ along themselves
        assert not [lib for lib in needed if lib.startswith(("libstdc++", "libgcc_s"))], needed
