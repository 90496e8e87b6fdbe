"""Refused libgpiod calls: one message, exit 1, everything released newest first."""

import errno

import libc
import pytest
from conftest import line

FOUND = [
    "gpiod_chip_open /dev/gpiochip0 -> chip#1",
    'gpiod_chip_get_line_offset_from_name chip#1 "led" -> 0',
]


@pytest.mark.parametrize("call, error, message, tail", [
    ("gpiod_line_config_new", errno.ENOMEM, "Error creating line config", [
        "gpiod_line_config_new -> NULL ENOMEM",
        "gpiod_chip_close chip#1",
    ]),
    ("gpiod_line_settings_new", errno.ENOMEM, "Error creating line settings", [
        "gpiod_line_config_new -> config#1",
        "gpiod_line_settings_new -> NULL ENOMEM",
        "gpiod_line_config_free config#1",
        "gpiod_chip_close chip#1",
    ]),
    ("gpiod_line_config_add_line_settings", errno.E2BIG, "Error adding line settings", [
        "gpiod_line_config_new -> config#1",
        "gpiod_line_settings_new -> settings#1",
        "gpiod_line_settings_set_direction settings#1 output -> 0",
        "gpiod_line_settings_set_output_value settings#1 active -> 0",
        "gpiod_line_config_add_line_settings config#1 [0] settings#1 -> -1 E2BIG",
        "gpiod_line_settings_free settings#1",
        "gpiod_line_config_free config#1",
        "gpiod_chip_close chip#1",
    ]),
    ("gpiod_chip_request_lines", errno.EBUSY, "Error requesting GPIO line", [
        "gpiod_line_config_new -> config#1",
        "gpiod_line_settings_new -> settings#1",
        "gpiod_line_settings_set_direction settings#1 output -> 0",
        "gpiod_line_settings_set_output_value settings#1 active -> 0",
        "gpiod_line_config_add_line_settings config#1 [0] settings#1 -> 0",
        "gpiod_chip_request_lines chip#1 NULL config#1 -> NULL EBUSY",
        "gpiod_line_settings_free settings#1",
        "gpiod_line_config_free config#1",
        "gpiod_chip_close chip#1",
    ]),
    ("gpiod_line_request_set_value", errno.EIO, "Error setting GPIO line value", [
        "gpiod_line_config_new -> config#1",
        "gpiod_line_settings_new -> settings#1",
        "gpiod_line_settings_set_direction settings#1 output -> 0",
        "gpiod_line_settings_set_output_value settings#1 active -> 0",
        "gpiod_line_config_add_line_settings config#1 [0] settings#1 -> 0",
        "gpiod_chip_request_lines chip#1 NULL config#1 -> request#1",
        "gpiod_line_request_set_value request#1 0 active -> -1 EIO",
        "gpiod_line_request_release request#1",
        "gpiod_line_settings_free settings#1",
        "gpiod_line_config_free config#1",
        "gpiod_chip_close chip#1",
    ]),
])
def test_refused_call_releases_what_exists(gpio, call, error, message, tail):
    gpio.chip(0, line("led", "output"))
    gpio.fail(call, error)
    run = gpio.run("-g", "led", "-d", "out", "-v", "1")
    assert (run.status, run.stdout, run.stderr) == (1, "", f"{message}: {libc.strerror(error)}\n")
    assert run.calls == FOUND + tail


def test_value_refused_on_an_input_line(gpio):
    gpio.chip(0, line("led", "input"))
    run = gpio.run("-g", "led", "-a", "1")
    assert (run.status, run.stdout) == (1, "")
    assert run.stderr == f"Error setting GPIO line value: {libc.strerror(errno.EPERM)}\n"
    assert run.calls[-5:] == [
        "gpiod_line_request_set_value request#1 0 inactive -> -1 EPERM",
        "gpiod_line_request_release request#1",
        "gpiod_line_settings_free settings#1",
        "gpiod_line_config_free config#1",
        "gpiod_chip_close chip#1",
    ]


def test_line_the_kernel_hogs_is_busy(gpio):
    gpio.chip(0, line("led", "output", value=1, consumer="kernel-hog"))
    run = gpio.run("-g", "led", "-d", "out", "-v", "1")
    assert (run.status, run.stdout) == (1, "")
    assert run.stderr == f"Error requesting GPIO line: {libc.strerror(errno.EBUSY)}\n"
    assert "gpiod_chip_request_lines chip#1 NULL config#1 -> NULL EBUSY" in run.calls
    assert run.lines == run.rests == []
