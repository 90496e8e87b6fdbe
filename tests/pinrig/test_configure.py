"""Finding the line on the first two chips and configuring it."""

import errno

import pytest
from conftest import chip_open_error, line


def test_output_with_value_and_active_low(gpio):
    gpio.chip(0, line("button"), line("led", "input", value=0))
    run = gpio.run("-g", "led", "-d", "out", "-v", "7", "-a", "3")
    assert (run.status, run.stderr) == (0, "")
    assert run.stdout == "GPIO line 1 on led has been configured as output with value 7 and active_low 3.\n"
    assert run.calls == [
        "gpiod_chip_open /dev/gpiochip0 -> chip#1",
        'gpiod_chip_get_line_offset_from_name chip#1 "led" -> 1',
        "gpiod_line_config_new -> config#1",
        "gpiod_line_settings_new -> settings#1",
        "gpiod_line_settings_set_direction settings#1 output -> 0",
        "gpiod_line_settings_set_output_value settings#1 active -> 0",
        "gpiod_line_settings_set_active_low settings#1 true",
        "gpiod_line_config_add_line_settings config#1 [1] settings#1 -> 0",
        "gpiod_chip_request_lines chip#1 NULL config#1 -> request#1",
        "gpiod_line_request_set_value request#1 1 active -> 0",
        "gpiod_line_request_release request#1",
        "gpiod_line_settings_free settings#1",
        "gpiod_line_config_free config#1",
        "gpiod_chip_close chip#1",
    ]
    assert run.lines == ["line /dev/gpiochip0 1 output active_low=true value=active"]


@pytest.mark.parametrize("extra, active_low_call, printed", [
    ([], [], "-1"),
    (["-a", "0"], ["gpiod_line_settings_set_active_low settings#1 false"], "0"),
])
def test_input_is_configured_without_writing_a_value(gpio, extra, active_low_call, printed):
    gpio.chip(0, line("sense", "output", value=1))
    run = gpio.run("-g", "sense", "-d", "in", "-v", "1", *extra)
    assert (run.status, run.stderr) == (0, "")
    assert run.stdout == f"GPIO line 0 on sense has been configured as input with active_low {printed}.\n"
    assert run.calls[4:] == [
        "gpiod_line_settings_set_direction settings#1 input -> 0",
        *active_low_call,
        "gpiod_line_config_add_line_settings config#1 [0] settings#1 -> 0",
        "gpiod_chip_request_lines chip#1 NULL config#1 -> request#1",
        "gpiod_line_request_release request#1",
        "gpiod_line_settings_free settings#1",
        "gpiod_line_config_free config#1",
        "gpiod_chip_close chip#1",
    ]
    assert run.lines[0].startswith("line /dev/gpiochip0 0 input ")


def test_value_alone_keeps_direction_and_writes_it(gpio):
    gpio.chip(0, line("relay", "output", value=1))
    run = gpio.run("-g", "relay", "-v", "0")
    assert (run.status, run.stderr) == (0, "")
    assert run.stdout == "GPIO line 0 on relay has been configured with current settings and value 0.\n"
    assert not any("settings_set" in call for call in run.calls)
    assert "gpiod_line_request_set_value request#1 0 inactive -> 0" in run.calls
    assert run.lines == ["line /dev/gpiochip0 0 output active_low=false value=inactive"]


@pytest.mark.parametrize("on_chip, not_found", [
    (True, ""),
    (False, "Error: GPIO line relay not found on any gpiochip\n"),
])
def test_direction_is_checked_only_once_the_line_is_found(gpio, on_chip, not_found):
    gpio.chip(0, line("relay" if on_chip else "other"))
    run = gpio.run("-g", "relay", "-d", "IN")
    assert (run.status, run.stdout) == (1, "")
    if on_chip:
        assert run.stderr == "Invalid direction: IN. Use 'in' or 'out'.\n"
        assert run.calls[2:] == [
            "gpiod_line_config_new -> config#1",
            "gpiod_line_settings_new -> settings#1",
            "gpiod_line_settings_free settings#1",
            "gpiod_line_config_free config#1",
            "gpiod_chip_close chip#1",
        ]
    else:
        assert run.stderr == chip_open_error() + not_found
        assert not any("settings" in call for call in run.calls)


def test_line_on_the_second_chip_when_the_first_is_missing(gpio):
    gpio.chip(1, line("a"), line("b"), line("fan", "output"))
    run = gpio.run("-g", "fan", "-d", "out", "-v", "1")
    assert (run.status, run.stderr) == (0, chip_open_error())
    assert run.stdout == "GPIO line 2 on fan has been configured as output with value 1 and active_low -1.\n"
    assert run.calls[:2] == [
        "gpiod_chip_open /dev/gpiochip0 -> NULL ENOENT",
        "gpiod_chip_open /dev/gpiochip1 -> chip#1",
    ]


def test_chip_without_the_line_is_closed_before_the_next_is_opened(gpio):
    gpio.chip(0, line("other"))
    gpio.chip(1, line("fan", "output"))
    run = gpio.run("-g", "fan", "-v", "1")
    assert (run.status, run.stderr) == (0, "")
    assert run.calls[:4] == [
        "gpiod_chip_open /dev/gpiochip0 -> chip#1",
        'gpiod_chip_get_line_offset_from_name chip#1 "fan" -> -1 ENOENT',
        "gpiod_chip_close chip#1",
        "gpiod_chip_open /dev/gpiochip1 -> chip#2",
    ]
    assert run.lines == ["line /dev/gpiochip1 0 output active_low=false value=active"]


def test_first_chip_wins_when_both_have_the_name(gpio):
    gpio.chip(0, line("fan", "output"))
    gpio.chip(1, line("fan", "output"))
    run = gpio.run("-g", "fan", "-v", "1")
    assert run.status == 0
    assert not any("gpiochip1" in call for call in run.calls)
    assert run.lines == ["line /dev/gpiochip0 0 output active_low=false value=active"]


def test_unopenable_chips_end_in_not_found(gpio):
    gpio.chip(0, line("fan"), open_errno=errno.EACCES)
    run = gpio.run("-g", "fan", "-d", "in")
    assert (run.status, run.stdout) == (1, "")
    assert run.stderr == (chip_open_error(errno.EACCES) + chip_open_error()
                          + "Error: GPIO line fan not found on any gpiochip\n")
    assert run.calls == [
        "gpiod_chip_open /dev/gpiochip0 -> NULL EACCES",
        "gpiod_chip_open /dev/gpiochip1 -> NULL ENOENT",
    ]


@pytest.mark.parametrize("pull, level", [("down", "inactive"), ("up", "active")])
def test_release_clears_active_low_and_the_line_falls_back_to_its_pull(gpio, pull, level):
    gpio.chip(0, line("led", pull=pull))
    run = gpio.run("-g", "led", "-d", "out", "-v", "1", "-a", "1")
    assert run.status == 0
    assert run.lines == ["line /dev/gpiochip0 0 output active_low=true value=active"]
    assert run.rests == [f"rest /dev/gpiochip0 0 output active_low=false value={level}"]
