// Requested lines: writing a value and releasing the request.

#include <algorithm>

#include "objects.h"

using namespace gpiosim;

int gpiod_line_request_set_value(gpiod_line_request *request, unsigned int offset,
				 gpiod_line_value value)
{
	if (!is_live(request, "request", "gpiod_line_request_set_value"))
		return -1;
	std::string call = "gpiod_line_request_set_value " + name_of(request) + " " +
			   std::to_string(offset) + " " + value_text(value);

	const auto &offsets = request->offsets;
	bool requested = std::find(offsets.begin(), offsets.end(), offset) != offsets.end();
	int error = injected_failure("gpiod_line_request_set_value");
	if (!error && (!requested || !is_line_value(value)))
		error = EINVAL;
	// Like the kernel, refuse to drive a line that is an input.
	if (!error && !request->chip->lines[offset].output)
		error = EPERM;
	if (error) {
		trace_failure(call, error);
		return -1;
	}
	gpiosim::line_model &line = request->chip->lines[offset];
	line.high = (value == GPIOD_LINE_VALUE_ACTIVE) != line.active_low;
	trace(call + " -> 0");
	return 0;
}

// The lines as the request leaves them are traced first; then the kernel
// frees them: active-low is cleared, the direction stays, and gpio-sim
// lets the level fall back to the line's pull.
void gpiod_line_request_release(gpiod_line_request *request)
{
	if (!is_live(request, "request", "gpiod_line_request_release"))
		return;
	gpiosim::chip_model *chip = request->chip;
	std::vector<unsigned int> offsets = request->offsets;
	destroy(request, "gpiod_line_request_release", "request");
	for (unsigned int offset : offsets) {
		gpiosim::line_model &line = chip->lines[offset];
		trace_line("line", chip->path, offset, line);
		line.active_low = false;
		line.high = line.pull_up;
		line.consumer.clear();
	}
}
