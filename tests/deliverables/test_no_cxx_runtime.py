"""What ships on the device needs no C++ runtime: none exists there.

That holds for each deliverable and for every shared library it loads, the
bus and configuration libraries included.
"""

import re
import subprocess
from pathlib import Path

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


def runpath(path):
    dynamic = subprocess.run(["readelf", "-d", path], capture_output=True, text=True,
                             check=True).stdout
    dirs = re.findall(r"\((?:RUNPATH|RPATH)\)\s+Library r(?:un)?path: \[(.*?)\]", dynamic)
    origin = str(Path(path).parent)
    return [d.replace("$ORIGIN", origin) for found in dirs for d in found.split(":") if d]


def loaded_libraries(exe):
    """The shared libraries exe and they in turn need that the build points
    them to (their runpaths): the bus, configuration and GPIO libraries,
    not the C library. name -> path. Read from the files alone, so that it
    works for a target build's programs too."""
    found = {}
    todo = [exe]
    while todo:
        path = todo.pop()
        dirs = runpath(path) or runpath(exe)
        for name in needed(path):
            where = next((Path(d) / name for d in dirs if (Path(d) / name).exists()), None)
            if where and name not in found:
                found[name] = str(where)
                todo.append(str(where))
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
    for lib, path in loaded_libraries(binary(name)).items():
        if ours(lib):
            assert not cxx_symbols(path), path
            if not SANITIZED:
                assert not [n for n in needed(path) if n.startswith(CXX_RUNTIME)], path


@pytest.mark.parametrize("name, libraries", [
    ("airsift", ["libubox.so", "libubus.so", "libuci.so"]),
    ("linetap", ["libubox.so", "libubus.so", "libuci.so"]),
    ("confwatch", ["libubox.so", "libubus.so"]),
])
def test_needs_the_shared_platform_libraries(name, libraries):
    # On the device they are shared objects of the base system; a copy
    # linked into the program would hide a link the platform build needs.
    names = needed(binary(name))
    for lib in libraries:
        assert [n for n in names if n.startswith(lib)], (lib, names)
    assert not [n for n in names if n.startswith("libblobmsg_json")], names
