#include "line_assembly.h"

#include <stdint.h>

static char line_buf[LINE_BUF_SIZE];
static int32_t line_len;

void assemble_log_chunk(const char *chunk, size_t n, log_line_handler on_line, void *arg)
{
	for (size_t i = 0; i < n; i++) {
		if (chunk[i] == '\n') {
			line_buf[line_len] = '\0';
			if (line_len > 0)
				on_line(line_buf, arg);
			line_len = 0;
		} else if (line_len < LINE_BUF_SIZE - 1) {
			line_buf[line_len++] = chunk[i];
		}
	}
}
