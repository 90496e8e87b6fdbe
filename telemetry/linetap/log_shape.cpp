#include "log_shape.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// "[1234.567] text": copies the stamp without its first dot and returns
// where the message starts, skipping the "]" and the character after it.
// A line without a usable stamp is its own message.
static const char *split_stamp(const char *line, char *stamp)
{
	memset(stamp, 0, LOG_STAMP_SIZE);
	if (line[0] != '[')
		return line;

	const char *close = strchr(line, ']');
	if (!close)
		return line;
	size_t stamp_len = (size_t)(close - line) - 1;
	if (stamp_len > LOG_STAMP_SIZE - 3)
		return line;

	memcpy(stamp, line + 1, stamp_len);
	stamp[stamp_len] = '\0';

	char *dot = strchr(stamp, '.');
	if (dot)
		memmove(dot, dot + 1, strlen(dot + 1) + 1);

	return close[1] ? close + 2 : close + 1;
}

static const char *escape_failed(const char *text, char *out, size_t at)
{
	out[at] = '\0';
	fputs("Warning: Quote escaping failed. Message may be truncated or unescaped.\n", stderr);
	return text;
}

// Puts a backslash before every double quote of text; returns out, or
// text itself when the escaped form does not fit.
static const char *escape_quotes(const char *text, char *out)
{
	size_t o = 0;

	for (const char *p = text;; p++) {
		if (*p == '\0') {
			out[o] = '\0';
			return out;
		}
		if (o == LOG_ESCAPED_SIZE - 1)
			return escape_failed(text, out, o);
		if (*p == '"') {
			if (o == LOG_ESCAPED_SIZE - 2)
				return escape_failed(text, out, o);
			out[o++] = '\\';
		}
		out[o++] = *p;
	}
}

void log_shape_line(const char *line, struct log_shape *shape)
{
	const char *text = split_stamp(line, shape->stamp);

	shape->message = escape_quotes(text, shape->escaped);
	shape->has_timestamp = shape->stamp[0] != '\0';
	shape->timestamp = shape->has_timestamp ? strtoull(shape->stamp, NULL, 10) : 0;
}
