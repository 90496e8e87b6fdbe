#include "log_severity.h"

#include <stdio.h>

int extract_severity(const char *line)
{
	int first, second;

	if (sscanf(line, "[%*f] %d|%d|", &first, &second) == 2) {
		fprintf(stderr, "Extracted severity: %d from log: %s\n", second, line);
		return second;
	}
	fprintf(stderr, "Could not extract severity from log: %s\n", line);
	return -1;
}
