// Line settings and the line configuration that maps offsets to them.

#include "objects.h"

using namespace gpiosim;

namespace {

// Creation shared by both kinds: an injected failure or a new object.
template <typename object>
object *create(const char *call, const char *kind)
{
	if (int error = injected_failure(call)) {
		trace_failure(call, error, "NULL");
		return nullptr;
	}
	object *created = new object();
	trace(std::string(call) + " -> " + adopt(created, kind));
	return created;
}

const char *direction_name(gpiod_line_direction direction)
{
	switch (direction) {
	case GPIOD_LINE_DIRECTION_AS_IS:
		return "as-is";
	case GPIOD_LINE_DIRECTION_INPUT:
		return "input";
	case GPIOD_LINE_DIRECTION_OUTPUT:
		return "output";
	}
	return nullptr;
}

// A setter that, like libgpiod's, refuses with EINVAL a value outside its enum.
template <typename field>
int set_checked(gpiod_line_settings *settings, const char *call, const std::string &shown,
		bool valid, field gpiod_line_settings::*member, field value)
{
	if (!is_live(settings, "settings", call))
		return -1;
	std::string traced = std::string(call) + " " + name_of(settings) + " " + shown;
	if (!valid) {
		trace_failure(traced, EINVAL);
		return -1;
	}
	settings->*member = value;
	trace(traced + " -> 0");
	return 0;
}

} // namespace

gpiod_line_settings *gpiod_line_settings_new(void)
{
	return create<gpiod_line_settings>("gpiod_line_settings_new", "settings");
}

void gpiod_line_settings_free(gpiod_line_settings *settings)
{
	destroy(settings, "gpiod_line_settings_free", "settings");
}

gpiod_line_config *gpiod_line_config_new(void)
{
	return create<gpiod_line_config>("gpiod_line_config_new", "config");
}

void gpiod_line_config_free(gpiod_line_config *config)
{
	destroy(config, "gpiod_line_config_free", "config");
}

int gpiod_line_settings_set_direction(gpiod_line_settings *settings, gpiod_line_direction direction)
{
	const char *name = direction_name(direction);
	return set_checked(settings, "gpiod_line_settings_set_direction",
			   name ? name : std::to_string(direction), name != nullptr,
			   &gpiod_line_settings::direction, direction);
}

int gpiod_line_settings_set_output_value(gpiod_line_settings *settings, gpiod_line_value value)
{
	return set_checked(settings, "gpiod_line_settings_set_output_value", value_text(value),
			   is_line_value(value), &gpiod_line_settings::output_value, value);
}

void gpiod_line_settings_set_active_low(gpiod_line_settings *settings, bool active_low)
{
	if (!is_live(settings, "settings", "gpiod_line_settings_set_active_low"))
		return;
	settings->active_low = active_low;
	trace("gpiod_line_settings_set_active_low " + name_of(settings) + " " +
	      (active_low ? "true" : "false"));
}

int gpiod_line_config_add_line_settings(gpiod_line_config *config, const unsigned int *offsets,
					size_t num_offsets, gpiod_line_settings *settings)
{
	if (!is_live(config, "config", "gpiod_line_config_add_line_settings") ||
	    !is_live(settings, "settings", "gpiod_line_config_add_line_settings"))
		return -1;
	std::string listed;
	for (size_t i = 0; offsets && i < num_offsets; i++)
		listed += (i ? "," : "") + std::to_string(offsets[i]);
	std::string call = "gpiod_line_config_add_line_settings " + name_of(config) + " [" + listed +
			   "] " + name_of(settings);
	int error = injected_failure("gpiod_line_config_add_line_settings");
	if (!error && (!offsets || num_offsets == 0))
		error = EINVAL;
	if (error) {
		trace_failure(call, error);
		return -1;
	}
	// The configuration keeps its own copy, as libgpiod does.
	for (size_t i = 0; i < num_offsets; i++)
		config->lines.emplace_back(offsets[i], *settings);
	trace(call + " -> 0");
	return 0;
}
