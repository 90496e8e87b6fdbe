#pragma once
// The libgpiod objects of the simulation. gpiod.h leaves them opaque; the
// definitions here are private to the simulated library.

#include <errno.h>
#include <gpiod.h>

#include <string>
#include <utility>
#include <vector>

#include "world.h"

struct gpiod_chip {
	gpiosim::chip_model *model;
};

struct gpiod_line_settings {
	gpiod_line_direction direction = GPIOD_LINE_DIRECTION_AS_IS;
	gpiod_line_value output_value = GPIOD_LINE_VALUE_INACTIVE;
	bool active_low = false;
};

struct gpiod_line_config {
	// Offsets with a copy of their settings, in the order they were added.
	std::vector<std::pair<unsigned int, gpiod_line_settings>> lines;
};

struct gpiod_line_request {
	gpiosim::chip_model *chip;
	std::vector<unsigned int> offsets;
};

namespace gpiosim {

// Traces a failed call ("... -> -1 ENOENT") and leaves its errno for the
// caller, as libgpiod does. errno is set last: writing the trace may touch it.
inline void trace_failure(const std::string &call, int error, const char *result = "-1")
{
	trace(call + " -> " + result + " " + errno_name(error));
	errno = error;
}

inline bool is_line_value(gpiod_line_value value)
{
	return value == GPIOD_LINE_VALUE_ACTIVE || value == GPIOD_LINE_VALUE_INACTIVE;
}

inline std::string value_text(gpiod_line_value value)
{
	if (!is_line_value(value))
		return std::to_string(value);
	return value == GPIOD_LINE_VALUE_ACTIVE ? "active" : "inactive";
}

// Frees a live object handed out earlier, tracing "<call> <name>".
template <typename object>
void destroy(object *doomed, const char *call, const char *kind)
{
	if (!is_live(doomed, kind, call))
		return;
	trace(std::string(call) + " " + name_of(doomed));
	forget(doomed);
	delete doomed;
}

} // namespace gpiosim
