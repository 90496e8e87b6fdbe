// pinrig: configures one GPIO line, found by name, from the command line.

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "configure_gpio_line.h"

static const char usage_line[] =
    "Usage: pinrig -g <gpio_name> -d <direction> [-v <value>] [-a <active_low>]\n";
static const char action_line[] =
    "At least one of -d <direction>, -v <value>, or -a <active_low> must be specified.\n";

int main(int argc, char **argv)
{
	const char *gpio_name = nullptr;
	const char *direction = nullptr;
	int value = 0;
	int active_low = -1;
	bool action_given = false;
	int opt;

	while ((opt = getopt(argc, argv, "g:d:v:a:")) != -1) {
		switch (opt) {
		case 'g':
			gpio_name = optarg;
			break;
		case 'd':
			direction = optarg;
			action_given = true;
			break;
		case 'v':
			value = atoi(optarg);
			action_given = true;
			break;
		case 'a':
			active_low = atoi(optarg);
			action_given = true;
			break;
		default:
			// getopt has already named the offending option.
			fputs(usage_line, stderr);
			return -1;
		}
	}

	// An empty name counts as none: unnamed lines report an empty name,
	// and the first of them must not be taken for the line asked for.
	if (!gpio_name || !gpio_name[0] || !action_given) {
		fputs(usage_line, stderr);
		fputs(action_line, stderr);
		return -1;
	}

	configure_gpio_line(gpio_name, direction, value, active_low);
	return 0;
}
