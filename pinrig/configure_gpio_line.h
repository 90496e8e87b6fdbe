#pragma once

// Finds the line called gpio_name on /dev/gpiochip0, then /dev/gpiochip1,
// requests it with the given direction ("in", "out" or null to keep it),
// output value and active-low flag (negative: left alone), writes the value
// unless the line was made an input, releases it and prints the outcome.
// Returns only on success; on any failure it reports, releases what it had
// created and exits with status 1.
void configure_gpio_line(const char *gpio_name, const char *direction, int value, int active_low);
