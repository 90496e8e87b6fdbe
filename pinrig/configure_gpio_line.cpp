#include "configure_gpio_line.h"

#include <gpiod.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "find_gpio_line.h"

namespace {

// The libgpiod objects of one run, in their order of creation. Each is null
// until created; they are released newest first.
struct line_setup {
	gpiod_chip *chip;
	gpiod_line_config *config;
	gpiod_line_settings *settings;
	gpiod_line_request *request;
};

void release(line_setup *setup)
{
	if (setup->request)
		gpiod_line_request_release(setup->request);
	if (setup->settings)
		gpiod_line_settings_free(setup->settings);
	if (setup->config)
		gpiod_line_config_free(setup->config);
	if (setup->chip)
		gpiod_chip_close(setup->chip);
}

// perror comes first: releasing may change errno.
[[noreturn]] void fail(line_setup *setup, const char *what)
{
	perror(what);
	release(setup);
	exit(1);
}

gpiod_line_value logical_value(int value)
{
	return value != 0 ? GPIOD_LINE_VALUE_ACTIVE : GPIOD_LINE_VALUE_INACTIVE;
}

enum class requested_direction { as_is, input, output, invalid };

requested_direction parse_direction(const char *direction)
{
	if (!direction)
		return requested_direction::as_is;
	if (strcmp(direction, "in") == 0)
		return requested_direction::input;
	if (strcmp(direction, "out") == 0)
		return requested_direction::output;
	return requested_direction::invalid;
}

} // namespace

void configure_gpio_line(const char *gpio_name, const char *direction, int value, int active_low)
{
	line_setup setup = {};
	int offset;

	setup.chip = find_gpio_line(gpio_name, &offset);
	if (!setup.chip) {
		fprintf(stderr, "Error: GPIO line %s not found on any gpiochip\n", gpio_name);
		exit(1);
	}
	unsigned int line_offset = offset;

	setup.config = gpiod_line_config_new();
	if (!setup.config)
		fail(&setup, "Error creating line config");

	setup.settings = gpiod_line_settings_new();
	if (!setup.settings)
		fail(&setup, "Error creating line settings");

	// Without -d the settings keep libgpiod's default, "as is".
	requested_direction dir = parse_direction(direction);
	switch (dir) {
	case requested_direction::as_is:
		break;
	case requested_direction::input:
		gpiod_line_settings_set_direction(setup.settings, GPIOD_LINE_DIRECTION_INPUT);
		break;
	case requested_direction::output:
		gpiod_line_settings_set_direction(setup.settings, GPIOD_LINE_DIRECTION_OUTPUT);
		gpiod_line_settings_set_output_value(setup.settings, logical_value(value));
		break;
	case requested_direction::invalid:
		fprintf(stderr, "Invalid direction: %s. Use 'in' or 'out'.\n", direction);
		release(&setup);
		exit(1);
	}

	if (active_low >= 0)
		gpiod_line_settings_set_active_low(setup.settings, active_low != 0);

	if (gpiod_line_config_add_line_settings(setup.config, &line_offset, 1, setup.settings) < 0)
		fail(&setup, "Error adding line settings");

	setup.request = gpiod_chip_request_lines(setup.chip, nullptr, setup.config);
	if (!setup.request)
		fail(&setup, "Error requesting GPIO line");

	// An input is only configured; otherwise the value is written, also
	// when the line keeps its direction.
	if (dir != requested_direction::input &&
	    gpiod_line_request_set_value(setup.request, line_offset, logical_value(value)) < 0)
		fail(&setup, "Error setting GPIO line value");

	switch (dir) {
	case requested_direction::input:
		printf("GPIO line %d on %s has been configured as input with active_low %d.\n",
		       offset, gpio_name, active_low);
		break;
	case requested_direction::output:
		printf("GPIO line %d on %s has been configured as output with value %d and active_low %d.\n",
		       offset, gpio_name, value, active_low);
		break;
	default:
		printf("GPIO line %d on %s has been configured with current settings and value %d.\n",
		       offset, gpio_name, value);
		break;
	}

	release(&setup);
}
