#include "find_gpio_line.h"

#include <gpiod.h>
#include <stdio.h>

// Only the first two chips are searched.
static const int chip_count = 2;

gpiod_chip *find_gpio_line(const char *gpio_name, int *offset)
{
	for (int index = 0; index < chip_count; index++) {
		char path[20];
		snprintf(path, sizeof(path), "/dev/gpiochip%d", index);

		gpiod_chip *chip = gpiod_chip_open(path);
		if (!chip) {
			perror("Error opening gpiochip");
			continue;
		}

		int found = gpiod_chip_get_line_offset_from_name(chip, gpio_name);
		if (found >= 0) {
			*offset = found;
			return chip;
		}
		gpiod_chip_close(chip);
	}
	return nullptr;
}
