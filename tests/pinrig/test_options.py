"""Command-line handling: usage errors, which options count, repeats."""

import libc
import pytest
from conftest import ACTION, OPTSTRING, USAGE, line, not_found


@pytest.fixture
def board(gpio):
    gpio.chip(0, line("led", "output"))
    return gpio


# Usage errors end before any GPIO chip is looked at: with none present, a
# run that went further would say so.
@pytest.mark.parametrize("args", [
    [],
    ["-g", "led"],
    ["-v", "1"],
    ["-d", "out", "-a", "1"],
    ["-g", "", "-d", "out", "-v", "1"],  # an empty name is no name
    ["-g", "led", "stray", "words"],
])
def test_missing_name_or_action_prints_both_usage_lines(no_chips, args):
    run = no_chips.run(*args)
    assert (run.status, run.stdout, run.stderr) == (255, "", USAGE + ACTION)


@pytest.mark.parametrize("args, bad", [
    (["-g", "led", "-x"], "x"),
    (["-d", "out", "-g"], "g"),
    # The first bad option ends parsing: the dangling -g is never looked at.
    (["-x", "-v", "1", "-g"], "x"),
])
def test_bad_option_prints_getopt_diagnostic_then_first_usage_line(no_chips, args, bad):
    parsed = libc.getopt(OPTSTRING, no_chips.argv0, *args)
    assert parsed.options[-1] == ("?", bad) and parsed.diagnostics
    run = no_chips.run(*args)
    assert (run.status, run.stdout) == (255, "")
    assert run.stderr == parsed.diagnostics + USAGE


def test_options_after_a_stray_word_count_as_getopt_has_it(no_chips):
    # glibc's getopt moves the stray word behind the options and reads -v;
    # musl's stops at the first word that is not an option.
    args = ["-g", "led", "stray", "-v", "1"]
    parsed = libc.getopt(OPTSTRING, no_chips.argv0, *args)
    run = no_chips.run(*args)
    if ("v", "1") in parsed.options:
        assert parsed.operands == ["stray"]
        assert (run.status, run.stdout, run.stderr) == (1, "", not_found("led"))
    else:
        assert parsed.operands == ["stray", "-v", "1"]
        assert (run.status, run.stdout, run.stderr) == (255, "", USAGE + ACTION)


def test_last_of_repeated_options_counts(board):
    run = board.run("-g", "nowhere", "-g", "led", "-d", "in", "-d", "out",
                    "-v", "1", "-v", "5", "-a", "1", "-a", "0")
    assert (run.status, run.stderr) == (0, "")
    assert run.stdout == "GPIO line 0 on led has been configured as output with value 5 and active_low 0.\n"
    assert run.calls[4:8] == [
        "gpiod_line_settings_set_direction settings#1 output -> 0",
        "gpiod_line_settings_set_output_value settings#1 active -> 0",
        "gpiod_line_settings_set_active_low settings#1 false",
        "gpiod_line_config_add_line_settings config#1 [0] settings#1 -> 0",
    ]


def test_negative_active_low_still_counts_as_an_action(board):
    run = board.run("-g", "led", "-a", "-4")
    assert (run.status, run.stderr) == (0, "")
    assert run.stdout == "GPIO line 0 on led has been configured with current settings and value 0.\n"
    assert not any("set_active_low" in call for call in run.calls)
    assert "gpiod_line_request_set_value request#1 0 inactive -> 0" in run.calls


def test_numbers_are_read_with_atoi_and_printed_as_given(board):
    run = board.run("-g", "led", "-d", "out", "-v", "-3junk", "-a", "twelve")
    assert run.status == 0
    assert run.stdout == "GPIO line 0 on led has been configured as output with value -3 and active_low 0.\n"
    assert "gpiod_line_settings_set_output_value settings#1 active -> 0" in run.calls
    assert "gpiod_line_settings_set_active_low settings#1 false" in run.calls
