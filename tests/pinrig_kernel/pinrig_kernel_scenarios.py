"""The scenarios of the kernel GPIO stage and what each pinrig run should give.

test_kernel_gpio.py runs them on the kernel's gpio-sim chips, and
test_sim_parity.py on the simulated libgpiod of the fast tests, so both say
the same. In the texts "{EBUSY}" stands for the C library's strerror(EBUSY)
and "{getopt}" for its getopt diagnostic for the same arguments.
"""

from dataclasses import dataclass, field

from pinrig_kernel_helpers import Scenario, Step

# Chip 0 and chip 1 are the two pinrig searches; chip 2 must never be looked
# at. The last line of each chip is the watcher's (unnamed).
CHIPS = [
    ("new_chip", 0, "led", "relay", "", "shared", "hogged", "pulled_up", "busy", ""),
    ("hog_line", 0, 4, "output-high"),
    ("new_chip", 1, "fan", "", "shared", ""),
    ("new_chip", 2, "third_only", ""),
    ("go_live", 0), ("go_live", 1), ("go_live", 2),
    ("set_pull", 0, 5, "pull-up"),
]
BUSY_LINE = 6
# After every run each line is back at its pull level (the hog stays high):
# gpio-sim lets a released line fall back to its pull.
AT_REST = {0: "00001100", 1: "0000", 2: "00"}

USAGE = "Usage: pinrig -g <gpio_name> -d <direction> [-v <value>] [-a <active_low>]\n"
ACTION = "At least one of -d <direction>, -v <value>, or -a <active_low> must be specified.\n"
OUTPUT = "GPIO line {} on {} has been configured as output with value {} and active_low {}.\n"
INPUT = "GPIO line {} on {} has been configured as input with active_low {}.\n"
AS_IS = "GPIO line {} on {} has been configured with current settings and value {}.\n"
NOT_FOUND = "Error: GPIO line {} not found on any gpiochip\n"
# The errors the texts name, as "{EBUSY}".
ERROR_NAMES = ("EPERM", "ENOENT", "EBUSY", "ENODEV", "ENOTTY", "EACCES")
# The chip devices opened, in order; a chip that refuses to open is absent.
FIRST = ["gpiochip0"]
BOTH = ["gpiochip0", "gpiochip1"]
SECOND = ["gpiochip1"]


@dataclass
class Run:
    """A pinrig run and what it should give."""
    args: tuple
    status: int = 0
    stdout: str = ""
    stderr: str = ""
    events: list = field(default_factory=list)
    trace: list = field(default_factory=list)
    opened: list = field(default_factory=lambda: FIRST)
    user: str = "root"
    hold: int | None = None


def held(chip, offset, direction, active_low=0):
    """Line events of one request without consumer name, and its release.
    The release clears active-low and the consumer; the direction stays."""
    return [f'{chip} {offset} requested {direction} active_low={active_low} "?"',
            f'{chip} {offset} released {direction} active_low=0 ""']


def made_output(chip, offset, level):
    """Kernel trace of a request as output at `level`, then pinrig's own write."""
    return [f"{chip} {offset} set {level}", f"{chip} {offset} direction out (0)",
            f"{chip} {offset} set {level}"]


def made_input(chip, offset):
    return [f"{chip} {offset} direction in (0)"]


def written(chip, offset, level):
    return [f"{chip} {offset} set {level}"]


def pinrig(*args, **expected):
    """One run of pinrig with these arguments, and what it should give."""
    return Run(args, **expected)


# name -> (what the guest runs, the expected Run of each step)
SCENARIOS = {}


def scenario(name, *runs, prepare=()):
    SCENARIOS[name] = (Scenario(name, [Step(r.args, r.user, r.hold) for r in runs], prepare), runs)


# Direction, value and active-low, alone and combined. Levels in the trace
# are physical: active-low inverts the logical value pinrig was given.
for value, active_low, level in [(1, -1, 1), (0, -1, 0), (1, 1, 0), (0, 1, 1), (7, 3, 0),
                                 (1, 0, 1)]:
    flags = ("-a", str(active_low)) if active_low >= 0 else ()
    scenario(f"output_value_{value}_active_low_{active_low}",
             pinrig("-g", "led", "-d", "out", "-v", str(value), *flags,
                    stdout=OUTPUT.format(0, "led", value, active_low),
                    events=held(0, 0, "output", int(active_low > 0)),
                   trace=made_output(0, 0, level)))
scenario("output_without_value_drives_inactive",
         pinrig("-g", "led", "-d", "out", stdout=OUTPUT.format(0, "led", 0, -1),
                events=held(0, 0, "output"), trace=made_output(0, 0, 0)))
scenario("input",
         pinrig("-g", "relay", "-d", "in", stdout=INPUT.format(1, "relay", -1),
                events=held(0, 1, "input"), trace=made_input(0, 1)))
scenario("input_active_low",
         pinrig("-g", "relay", "-d", "in", "-a", "1",
                stdout=INPUT.format(1, "relay", 1),
                events=held(0, 1, "input", 1), trace=made_input(0, 1)))
scenario("input_ignores_value",
         pinrig("-g", "relay", "-d", "in", "-v", "1",
                stdout=INPUT.format(1, "relay", -1),
                events=held(0, 1, "input"), trace=made_input(0, 1)))

# Without -d the line keeps its direction: an input refuses the write.
WRITE_REFUSED = "Error setting GPIO line value: {EPERM}\n"
scenario("value_alone_on_an_input",
         pinrig("-g", "relay", "-v", "1", status=1, stderr=WRITE_REFUSED,
                events=held(0, 1, "input")))
scenario("active_low_alone_on_an_input",
         pinrig("-g", "relay", "-a", "1", status=1,
                stderr=WRITE_REFUSED, events=held(0, 1, "input", 1)))
scenario("output_left_by_an_earlier_run",
         pinrig("-g", "led", "-d", "out", "-v", "1", stdout=OUTPUT.format(0, "led", 1, -1),
                events=held(0, 0, "output"), trace=made_output(0, 0, 1)),
         pinrig("-g", "led", "-v", "1", stdout=AS_IS.format(0, "led", 1),
                events=held(0, 0, "output"), trace=written(0, 0, 1)),
         pinrig("-g", "led", "-a", "1", stdout=AS_IS.format(0, "led", 0),
                events=held(0, 0, "output", 1), trace=written(0, 0, 1)),
         pinrig("-g", "led", "-v", "0", "-a", "0", stdout=AS_IS.format(0, "led", 0),
                events=held(0, 0, "output"), trace=written(0, 0, 0)),
         pinrig("-g", "led", "-d", "in", stdout=INPUT.format(0, "led", -1),
                events=held(0, 0, "input"), trace=made_input(0, 0)),
         pinrig("-g", "led", "-v", "1", status=1, stderr=WRITE_REFUSED, events=held(0, 0, "input")))
scenario("released_output_falls_back_to_its_pull_up",
         pinrig("-g", "pulled_up", "-d", "out", "-v", "0",
                stdout=OUTPUT.format(5, "pulled_up", 0, -1),
                events=held(0, 5, "output"), trace=made_output(0, 5, 0)))

# Lines someone else holds.
BUSY = "Error requesting GPIO line: {EBUSY}\n"
scenario("line_hogged_by_the_kernel",
         pinrig("-g", "hogged", "-d", "out", "-v", "1", status=1, stderr=BUSY),
         pinrig("-g", "hogged", "-v", "0", status=1, stderr=BUSY))
scenario("line_held_by_another_process",
         pinrig("-g", "busy", "-d", "out", "-v", "1", status=1, stderr=BUSY, hold=BUSY_LINE),
         pinrig("-g", "busy", "-d", "in", status=1, stderr=BUSY, hold=BUSY_LINE))

# Finding the line.
scenario("name_only_on_the_second_chip",
         pinrig("-g", "fan", "-d", "out", "-v", "1", stdout=OUTPUT.format(0, "fan", 1, -1),
                events=held(1, 0, "output"), opened=BOTH, trace=made_output(1, 0, 1)))
scenario("name_on_both_chips_takes_the_first",
         pinrig("-g", "shared", "-d", "out", "-v", "1", stdout=OUTPUT.format(3, "shared", 1, -1),
                events=held(0, 3, "output"), trace=made_output(0, 3, 1)))
scenario("names_are_case_sensitive",
         pinrig("-g", "FAN", "-d", "out", status=1, stderr=NOT_FOUND.format("FAN"), opened=BOTH))
scenario("unnamed_lines_match_no_name",
         pinrig("-g", "", "-d", "out", status=255, stderr=USAGE + ACTION, opened=[]),
         pinrig("-g", "spare", "-d", "out", status=1, stderr=NOT_FOUND.format("spare"),
                opened=BOTH))
scenario("third_chip_is_never_searched",
         pinrig("-g", "third_only", "-d", "out", status=1, stderr=NOT_FOUND.format("third_only"),
                opened=BOTH))

# The chip devices.
OPEN_FAILED = "Error opening gpiochip: {}\n"
scenario("first_chip_missing",
         pinrig("-g", "fan", "-d", "out", "-v", "1", stdout=OUTPUT.format(0, "fan", 1, -1),
                stderr=OPEN_FAILED.format("{ENOENT}"), events=held(1, 0, "output"),
                trace=made_output(1, 0, 1), opened=SECOND),
         pinrig("-g", "led", "-d", "out", status=1,
                stderr=OPEN_FAILED.format("{ENOENT}") + NOT_FOUND.format("led"), opened=SECOND),
         prepare=[("hide_chip", 0)])
scenario("both_chips_missing",
         pinrig("-g", "fan", "-d", "out", status=1,
                stderr=OPEN_FAILED.format("{ENOENT}") * 2 + NOT_FOUND.format("fan"), opened=[]),
         prepare=[("hide_chip", 0), ("hide_chip", 1)])
scenario("first_chip_is_another_character_device",
         pinrig("-g", "fan", "-d", "in", stdout=INPUT.format(0, "fan", -1),
                stderr=OPEN_FAILED.format("{ENODEV}"), events=held(1, 0, "input"),
                trace=made_input(1, 0), opened=SECOND),
         prepare=[("fake_chip", 0)])
scenario("first_chip_is_a_plain_file",
         pinrig("-g", "fan", "-d", "in", stdout=INPUT.format(0, "fan", -1),
                stderr=OPEN_FAILED.format("{ENOTTY}"), events=held(1, 0, "input"),
                trace=made_input(1, 0), opened=SECOND),
         prepare=[("file_chip", 0)])
scenario("no_permission_on_the_first_chip",
         pinrig("-g", "fan", "-d", "out", "-v", "1", "-a", "1", user="user",
                stdout=OUTPUT.format(0, "fan", 1, 1), stderr=OPEN_FAILED.format("{EACCES}"),
                events=held(1, 0, "output", 1), trace=made_output(1, 0, 0), opened=SECOND),
         pinrig("-g", "led", "-d", "out", user="user", status=1,
                stderr=OPEN_FAILED.format("{EACCES}") + NOT_FOUND.format("led"), opened=SECOND),
         prepare=[("open_chip", 1)])

# The command line.
scenario("usage_errors",
         pinrig(status=255, stderr=USAGE + ACTION, opened=[]),
         pinrig("-g", "led", status=255, stderr=USAGE + ACTION, opened=[]),
         pinrig("-v", "1", "-d", "out", status=255, stderr=USAGE + ACTION, opened=[]),
         pinrig("-g", "led", "-x", status=255, stderr="{getopt}" + USAGE, opened=[]),
         pinrig("-d", "out", "-g", status=255, stderr="{getopt}" + USAGE, opened=[]),
         pinrig("-g", "led", "-d", "IN", status=1,
                stderr="Invalid direction: IN. Use 'in' or 'out'.\n"),
         pinrig("-g", "nowhere", "-d", "IN", status=1, stderr=NOT_FOUND.format("nowhere"),
                opened=BOTH))
scenario("last_of_repeated_options_counts",
         pinrig("-g", "nowhere", "-g", "led", "-d", "in", "-d", "out", "-v", "1", "-v", "5",
                "-a", "1", "-a", "0", stdout=OUTPUT.format(0, "led", 5, 0),
                events=held(0, 0, "output"), trace=made_output(0, 0, 1)))
