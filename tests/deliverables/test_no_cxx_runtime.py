"""What ships on the device needs no C++ runtime: none exists there.

That holds for each deliverable and for every shared library it loads, the
bus and configuration libraries included.
"""

import re
import subprocess
from pathlib import Path

import pytest

from sandbox import EMULATOR, SANITIZED, binary

DELIVERABLES = ["airsift", "linetap", "confwatch", "pinrig"]
CXX_RUNTIME = ("libstdc++", "libgcc_s", "libc++", "libc++abi", "libunwind")
# Brought in by the sanitizer runtimes, which themselves need the C++ runtime.
SANITIZER_RUNTIME = ("libasan", "libubsan", "liblsan", "libtsan")
# What a C++ runtime defines: mangled names, the ABI's support calls and
# the unwinder's personality routines.
CXX_SYMBOL = re.compile(r"^(_Z|__cxa_|__gxx_)|@(GLIBCXX|CXXABI)")
# ... except the C library's own: every C program's start files name these
# for atexit handlers, and glibc and musl define them.
C_LIBRARY_SYMBOLS = {"__cxa_atexit", "__cxa_finalize", "__cxa_thread_atexit_impl"}
# The target's sysroot, as the emulator runs the program with it (-L).
SYSROOT = Path(EMULATOR[EMULATOR.index("-L") + 1]) if "-L" in EMULATOR else None
# Where the target's loader looks, multiarch folders included.
SYSROOT_DIRS = ("lib", "usr/lib", "lib/aarch64-linux-musl", "usr/lib/aarch64-linux-musl",
                "lib/aarch64-linux-gnu", "usr/lib/aarch64-linux-gnu")
C_LIBRARY = re.compile(r"^(libc\.so|ld-)")


def needed(path):
    dynamic = subprocess.run(["readelf", "-d", path], capture_output=True, text=True,
                             check=True).stdout
    return re.findall(r"\(NEEDED\)\s+Shared library: \[(.+?)\]", dynamic)


def cxx_symbols(path):
    undefined = subprocess.run(["nm", "-D", "-u", path], capture_output=True, text=True,
                               check=True).stdout
    names = [line.split()[-1] for line in undefined.splitlines() if line.strip()]
    return [name for name in names
            if CXX_SYMBOL.search(name) and name.split("@")[0] not in C_LIBRARY_SYMBOLS]


def runpath(path):
    dynamic = subprocess.run(["readelf", "-d", path], capture_output=True, text=True,
                             check=True).stdout
    dirs = re.findall(r"\((?:RUNPATH|RPATH)\)\s+Library r(?:un)?path: \[(.*?)\]", dynamic)
    origin = str(Path(path).parent)
    return [d.replace("$ORIGIN", origin) for found in dirs for d in found.split(":") if d]


def library_dirs(path, exe):
    """Where the loader finds what path needs: its runpath (or the
    program's), then, for a target's program, the sysroot's folders."""
    dirs = runpath(path) or runpath(exe)
    if SYSROOT:
        dirs += [str(SYSROOT / d) for d in SYSROOT_DIRS]
    return dirs


def loaded_libraries(exe):
    """The shared libraries exe and they in turn need, as the build points
    them to (runpaths) or the target's sysroot holds them: the bus,
    configuration and GPIO libraries, not the build host's C library.
    name -> path. Read from the files alone, so that it works for a target
    build's programs too."""
    found = {}
    todo = [exe]
    while todo:
        path = todo.pop()
        dirs = library_dirs(path, exe)
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
    exe = binary(name)
    loaded = loaded_libraries(exe)
    # Each library the program names is checked, the C library aside on
    # the build host, where it comes from the system.
    unchecked = [lib for lib in needed(exe)
                 if lib not in loaded and not (C_LIBRARY.match(lib) and not SYSROOT)
                 and not lib.startswith(SANITIZER_RUNTIME)]
    assert not unchecked, f"{exe} needs {unchecked}, found nowhere to check"
    for lib, path in loaded.items():
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
