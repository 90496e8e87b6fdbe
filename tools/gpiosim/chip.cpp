// Chips: opening by path, finding a line by name, requesting lines.

#include "objects.h"

using namespace gpiosim;

gpiod_chip *gpiod_chip_open(const char *path)
{
	std::string call = std::string("gpiod_chip_open ") + (path ? path : "NULL");
	chip_model *model = path ? find_chip(path) : nullptr;
	int error = !path ? EINVAL : !model ? ENOENT : model->open_errno;
	if (!error)
		error = injected_failure("gpiod_chip_open");
	if (error) {
		trace_failure(call, error, "NULL");
		return nullptr;
	}
	gpiod_chip *chip = new gpiod_chip{model};
	trace(call + " -> " + adopt(chip, "chip"));
	return chip;
}

void gpiod_chip_close(gpiod_chip *chip)
{
	destroy(chip, "gpiod_chip_close", "chip");
}

int gpiod_chip_get_line_offset_from_name(gpiod_chip *chip, const char *name)
{
	if (!is_live(chip, "chip", "gpiod_chip_get_line_offset_from_name"))
		return -1;
	std::string call = "gpiod_chip_get_line_offset_from_name " + name_of(chip) + " " +
			   (name ? "\"" + std::string(name) + "\"" : "NULL");
	int error = name ? injected_failure("gpiod_chip_get_line_offset_from_name") : EINVAL;
	if (error) {
		trace_failure(call, error);
		return -1;
	}
	const auto &lines = chip->model->lines;
	for (size_t offset = 0; offset < lines.size(); offset++) {
		if (lines[offset].name == name) {
			trace(call + " -> " + std::to_string(offset));
			return static_cast<int>(offset);
		}
	}
	trace_failure(call, ENOENT);
	return -1;
}

gpiod_line_request *gpiod_chip_request_lines(gpiod_chip *chip, gpiod_request_config *req_cfg,
					     gpiod_line_config *line_cfg)
{
	if (!is_live(chip, "chip", "gpiod_chip_request_lines") ||
	    !is_live(line_cfg, "config", "gpiod_chip_request_lines"))
		return nullptr;
	std::string call = "gpiod_chip_request_lines " + name_of(chip) + " " +
			   (req_cfg ? "request-config" : "NULL") + " " + name_of(line_cfg);

	auto &lines = chip->model->lines;
	int error = injected_failure("gpiod_chip_request_lines");
	if (!error && line_cfg->lines.empty())
		error = EINVAL;
	for (const auto &entry : line_cfg->lines)
		if (!error && entry.first >= lines.size())
			error = EINVAL;
	// A line hogged by the kernel or held by another process.
	for (const auto &entry : line_cfg->lines)
		if (!error && !lines[entry.first].consumer.empty())
			error = EBUSY;
	if (error) {
		trace_failure(call, error, "NULL");
		return nullptr;
	}

	gpiod_line_request *request = new gpiod_line_request{chip->model, {}};
	for (const auto &[offset, settings] : line_cfg->lines) {
		line_model &line = lines[offset];
		if (settings.direction != GPIOD_LINE_DIRECTION_AS_IS)
			line.output = settings.direction == GPIOD_LINE_DIRECTION_OUTPUT;
		line.active_low = settings.active_low;
		if (settings.direction == GPIOD_LINE_DIRECTION_OUTPUT)
			line.high = (settings.output_value == GPIOD_LINE_VALUE_ACTIVE) != line.active_low;
		line.consumer = "?"; // the kernel's name for a request that gave none
		line.changed = true;
		request->offsets.push_back(offset);
	}
	trace(call + " -> " + adopt(request, "request"));
	return request;
}
