#pragma once

struct gpiod_chip;

// Opens /dev/gpiochip0, then /dev/gpiochip1, and returns the first chip that
// has a line called gpio_name, with the line's offset in *offset; the caller
// closes it. A chip that cannot be opened is reported and skipped, one
// without the line is closed again. Returns null when neither has the line.
gpiod_chip *find_gpio_line(const char *gpio_name, int *offset);
