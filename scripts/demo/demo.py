#!/usr/bin/python3
"""The four programs at work on one machine, in a sandbox of their own.

Starts the bus broker, a "service" object and the three daemons, feeds
them a log stream, scans and a burst of configuration changes, sets a GPIO
line on a simulated chip, shows everything live and ends with a summary.
Nothing of the machine's bus, configuration, queues or /sbin is touched,
and nothing is left behind. Run as root, after a build (./run-demo does both).
"""

import argparse
import os
import re
import signal
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tests" / "harness"))
# Processes inside the sandbox start in its root folder: paths must be absolute.
os.environ["APSUITE_BIN"] = os.path.abspath(os.environ.get("APSUITE_BIN", REPO / "build" / "bin"))


def name_platform_programs():
    """Names the broker and the clients that the build found (its CMake
    cache) as the tests name them, unless the environment does already."""
    wanted = {"APSUITE_UBUSD": "UBUSD_EXECUTABLE", "APSUITE_UBUS": "UBUS_EXECUTABLE",
              "APSUITE_UCI": "UCI_EXECUTABLE"}
    if all(variable in os.environ for variable in wanted):
        return
    cache = {}
    build = Path(os.environ["APSUITE_BIN"]).parent
    for line in (build / "CMakeCache.txt").read_text().splitlines():
        name, equals, value = line.partition("=")
        if equals:
            cache[name.split(":")[0]] = value
    for variable, entry in wanted.items():
        os.environ.setdefault(variable, cache[entry])


name_platform_programs()

from sandbox import DEFAULT_TIMEOUT, RELOAD_SCRIPT, SCAN_KEY_PATH  # noqa: E402

import scenario  # noqa: E402
from console import Console  # noqa: E402
from system import System  # noqa: E402

RELOAD_QUIET = 10.0   # confwatch reloads this long after the last change

ACCEPTED = re.compile(r"^Log accepted: ", re.M)
JUDGED = re.compile(r"^Log (?:accepted|rejected): ", re.M)
REJECTED = re.compile(r"^Log rejected: ", re.M)
SCAN_SEEN = re.compile(r'^\{ *"airsift":', re.M)
LOG_SEEN = re.compile(r'^\{ *"syslog":', re.M)
RELOAD_RUN = "reknit: reloading services"


class Pace:
    """Pauses between events, so that a person can watch them one by one."""

    def __init__(self, short):
        self.log = 0 if short else 0.4
        self.scan = 0 if short else 0.8
        self.change = 0.5 if short else 1.0


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--follow", action="store_true",
                        help="keep running until Ctrl-C, and print the commands that feed "
                             "the running system from a second shell")
    parser.add_argument("--short", action="store_true",
                        help="no pauses between events, only what the system itself waits for")
    parser.add_argument("--device", action="store_true",
                        help="the installed image instead, on an emulated arm64 access point "
                             "(./run-demo builds it first; about a minute)")
    return parser.parse_args(argv)


def step(console, text):
    console.say(f"\n== {text}")


def count(pattern, text):
    return len(pattern.findall(text))


# -- the steps -----------------------------------------------------------------

def start_system(console, system):
    step(console, 'Bus broker, "service" object and the three daemons in a sandbox')
    system.open()
    console.say(f"   sandbox {system.root}, {system.namespace}, "
                f"holder pid {system.sandbox.holder_pid}")
    for setting in system.uci_settings():
        console.say(f"   uci {setting}")
    console.say(f"   scan key path {SCAN_KEY_PATH}; {RELOAD_SCRIPT} announces each run")
    system.start()


def show_second_shell_commands(console, system):
    step(console, "From a second shell (as root) while this runs; Ctrl-C here ends it all")
    for what, command in system.commands_for_a_second_shell():
        console.say(f"   {what}:\n     {command}")


def feed_log(console, system, pause):
    lines = scenario.log_lines()
    step(console, f"linetap reads {len(lines)} lines of system log")
    for n, line in enumerate(lines, 1):
        system.log(line)
        system.wait_count("linetap", JUDGED, n, stream="stderr")
        time.sleep(pause)
    accepted = count(ACCEPTED, system.output("linetap", "stderr"))
    system.wait_count("subscriber", LOG_SEEN, accepted)


def post_scans(console, system, pause):
    step(console, f"{len(scenario.SCANS)} scans posted on the scan queue")
    for n, scan in enumerate(scenario.SCANS, 1):
        system.post_scan(scan)
        system.wait_count("subscriber", SCAN_SEEN, n)
        time.sleep(pause)


def change_configuration(console, system, spacing):
    """A burst of changes; returns when the last one was delivered."""
    step(console, f'"service" announces {scenario.CHANGES} configuration changes, '
                  f"{spacing:g} s apart; confwatch waits for {RELOAD_QUIET:g} s of quiet")
    for n in range(1, scenario.CHANGES + 1):
        if n > 1:
            time.sleep(spacing)
        system.tell_service("notify config.change")
        system.wait_count("service", "notified config.change", n)
    return time.monotonic()


def set_gpio_line(console, system):
    """pinrig on a simulated chip; returns the line's name and its state before and after."""
    chip, offset = scenario.GPIO_LINE
    line = scenario.GPIO_CHIPS["chips"][chip]["lines"][offset]
    step(console, f"pinrig sets {line['name']} on a simulated chip, while confwatch waits")
    before = describe_line(line["direction"], line["active_low"], bool(line["value"]))
    console.show("gpio", f"{chip} line {offset} before: {before}")
    console.show("pinrig", "$ pinrig " + " ".join(scenario.PINRIG_ARGS))
    result, trace = system.run_pinrig(scenario.PINRIG_ARGS, scenario.GPIO_CHIPS)
    for text in (result.stdout + result.stderr).splitlines():
        console.show("pinrig", text)
    if result.returncode:
        raise RuntimeError(f"pinrig exited with {result.returncode}")
    after = final_state(trace, chip, offset)
    console.show("gpio", f"{chip} line {offset} after:  {after}")
    return line["name"], before, after


def describe_line(direction, active_low, active):
    high = active != active_low
    return (f"{direction}, {'active-low' if active_low else 'active-high'}, "
            f"{'active' if active else 'inactive'} (pin {'high' if high else 'low'})")


def final_state(trace, chip, offset):
    """The state the simulated chip reports for the line at exit."""
    for entry in trace:
        fields = entry.split()
        if fields[:3] == ["line", chip, str(offset)]:
            return describe_line(fields[3], fields[4] == "active_low=true",
                                 fields[5] == "value=active")
    raise RuntimeError(f"the line was not changed: {trace}")


def await_reload(console, system, last_change):
    system.wait_count("confwatch", "executing reload script", 1,
                      timeout=RELOAD_QUIET + DEFAULT_TIMEOUT)
    delay = time.monotonic() - last_change
    system.wait_count("confwatch", RELOAD_RUN, 1)
    console.say(f"   one reload, {delay:.1f} s after the last change")


def wait_for_interrupt(console):
    console.say("\n   running until Ctrl-C")
    while True:
        signal.pause()


# -- the end -------------------------------------------------------------------

def summarize(console, system, statuses, gpio):
    linetap = system.output("linetap", "stderr")
    seen = system.output("subscriber")
    console.say("\n== Summary")
    console.say(f"   scans reported:     {count(SCAN_SEEN, seen)}")
    console.say(f"   lines accepted:     {count(ACCEPTED, linetap)} "
                f"(published: {count(LOG_SEEN, seen)})")
    console.say(f"   lines rejected:     {count(REJECTED, linetap)}")
    console.say(f"   reloads run:        {system.count('confwatch', RELOAD_RUN)} "
                f"(changes announced: {system.count('service', 'notified config.change')})")
    if gpio:
        name, before, after = gpio
        console.say(f"   GPIO line:          {name}: {before}\n{'':23}-> {after}")
    console.say("   exit statuses:      " +
                ", ".join(f"{label} {status}" for label, status in statuses.items()))


def main(argv=None):
    args = parse_args(argv)
    if os.geteuid() != 0:
        sys.exit("demo: run as root (it sets up mount and IPC namespaces)")
    # Ctrl-C or a TERM ends a run in order, even where the caller ignored them.
    for signum in (signal.SIGINT, signal.SIGTERM):
        signal.signal(signum, signal.default_int_handler)
    pace = Pace(args.short)
    console = Console()
    if args.device:
        import device
        return device.run(console)
    system = System(console)
    failure, gpio, statuses = None, None, {}
    try:
        start_system(console, system)
        if args.follow:
            show_second_shell_commands(console, system)
        feed_log(console, system, pace.log)
        post_scans(console, system, pace.scan)
        last_change = change_configuration(console, system, pace.change)
        gpio = set_gpio_line(console, system)
        await_reload(console, system, last_change)
        if args.follow:
            wait_for_interrupt(console)
    except KeyboardInterrupt:
        if not args.follow:
            failure = "interrupted"
    except (AssertionError, RuntimeError, OSError) as error:
        failure = str(error)
    finally:
        # A second Ctrl-C must not leave processes or folders behind.
        for signum in (signal.SIGINT, signal.SIGTERM):
            signal.signal(signum, signal.SIG_IGN)
        step(console, "Stopping everything")
        statuses = system.stop()
        left = system.left_running()
        system.remove()
    summarize(console, system, statuses, gpio)
    return verdict(console, system, failure, statuses, left)


def verdict(console, system, failure, statuses, left):
    problems = [failure] if failure else []
    problems += [f"{label} ended with {status}" for label, status in statuses.items() if status]
    if left:
        problems.append(f"processes left in the sandbox: {left}")
    if system.root.exists():
        problems.append(f"{system.root} is still there")
    for problem in problems:
        console.say(f"demo: {problem}")
    if not problems:
        console.say(f"   everything stopped; {system.root} removed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
