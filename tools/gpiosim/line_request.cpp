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
	request->chip->lines[offset].active = value == GPIOD_LINE_VALUE_ACTIVE;
	trace(call + " -> 0");
	return 0;
}

void gpiod_line_request_release(gpiod_line_request *request)
{
	destroy(request, "gpiod_line_request_release", "request");
}
