"""What ships on the device needs no C++ runtime: none exists there.

That holds for each deliverable and for every shared library it loads, the
bus and configuration libraries included.
"""

import re
import subprocess

import pytest

from sandbox import SANITIZED, binary

DELIVERABLES = ["airsift", "linetap", "confwatch", "pinrig"]
CXX_RUNTIME = ("libstdc++", "libgcc_s")
# Brought in by the sanitizer runtimes, which themselves need the C++ runtime.
SANITIZER_RUNTIME = ("libasan", "libubsan", "liblsan", "libtsan")


def needed(path):
    dynamic = subprocess.run(["readelf", "-d", path], capture_output=True, text=True,
                             check=True).stdout
    return re.findall(r"\(NEEDED\)\s+Shared library: \[(.+?)\]", dynamic)


def cxx_symbols(path):
    undefined = subprocess.run(["nm", "-D", "-u", path], capture_output=True, text=True,
                               check=True).stdout
    return re.findall(r"\S+@(?:GLIBCXX|CXXABI)\S*", undefined)


def loaded_libraries(exe):
    """Every shared library the loader maps for exe: name -> path."""
    out = subprocess.run(["ldd", exe], capture_output=True, text=True, check=True).stdout
    found = dict(re.findall(r"^\s*(\S+) => (/\S+)", out, re.M))
    assert not re.findall(r"^\s*(\S+) => not found", out, re.M), out
    return found


def ours(name):
    return not name.startswith(CXX_RUNTIME + SANITIZER_RUNTIME)


@pytest.mark.parametrize("name", DELIVERABLES)
def test_needs_no_cxx_runtime(name):
    exe = binary(name)
    assert not cxx_symbols(exe)
    if not SANITIZED:
        assert not [lib for lib in needed(exe) if lib.startswith(CXX_RUNTIME)], needed(exe)


@pytest.mark.parametrize("name", DELIVERABLES)
def test_libraries_it_loads_need_no_cxx_runtime(name):
    libraries = loaded_libraries(binary(name))
    if not SANITIZED:
        assert not [lib for lib in libraries if lib.startswith(CXX_RUNTIME)], libraries
    for lib, path in libraries.items():
        if ours(lib):
            assert not cxx_symbols(path), path
            if not SANITIZED:
                assert not [n for n in needed(path) if n.startswith(CXX_RUNTIME)], path


@pytest.mark.parametrize("name, libraries", [
    ("airsift", ["libubox.so", "libubus.so", "libuci.so"]),
    ("linetap", ["libubox.so", "libubus.so", "libuci.so"]),
    ("confwatch", ["libubox.so", "libubus.so"]),
])
def test_loads_the_shared_platform_libraries(name, libraries):
    # On the device they are shared objects of the base system; a copy
    # linked into the program would hide a link the platform build needs.
    loaded = loaded_libraries(binary(name))
    for lib in libraries:
        assert [n for n in loaded if n.startswith(lib)], (lib, loaded)
    assert not [n for n in loaded if n.startswith("libblobmsg_json")], loaded
