"""What the C library under test says and does where C libraries differ.

The deliverables keep their C library's behaviour: strerror texts, getopt's
diagnostics and argument order, and scanf's reading of odd numbers are not
the same with glibc and musl. Tests take the expected text from here; the
answers come from tests/helpers/libc_probe, built with the deliverables and
run the way they are run (under the target's emulator in a target suite).
"""

import functools
import subprocess
from dataclasses import dataclass

from sandbox import DEFAULT_TIMEOUT, emulated, helper


def _probe(*args):
    return subprocess.run(emulated([helper("libc_probe"), *args]), capture_output=True,
                          text=True, check=True, timeout=DEFAULT_TIMEOUT)


@functools.lru_cache(maxsize=None)
def strerror(number):
    """strerror(number), as perror prints it after the colon."""
    return _probe("strerror", str(number)).stdout.rstrip("\n")


@dataclass(frozen=True)
class Getopt:
    options: list       # (option, argument) in the order getopt returned them; ("?", x) for a bad one
    operands: list      # what getopt left after the options
    diagnostics: str    # what getopt itself wrote to standard error


def getopt(optstring, argv0, *args):
    """What getopt(optstring) makes of the command line argv0 args..."""
    result = _probe("getopt", optstring, argv0, *args)
    *options, end = result.stdout.splitlines()
    return Getopt([tuple(line.split(" ", 1)) for line in options], end.split(" ")[1:],
                  result.stderr)


def stamp_scan(line):
    """(conversions, first, second) of sscanf(line, "[%*f] %d|%d|")."""
    converted, first, second = _probe("stamp", line).stdout.split()
    return int(converted), int(first), int(second)
