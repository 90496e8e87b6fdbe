// How an accepted log line is laid out in its notification: the bracketed
// stamp becomes a number, the rest becomes the message with its double
// quotes escaped.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr size_t LOG_STAMP_SIZE = 32; // at most 29 characters between the brackets
constexpr size_t LOG_ESCAPED_SIZE = 4096;

struct log_shape {
	char stamp[LOG_STAMP_SIZE];     // between the brackets, first dot removed
	char escaped[LOG_ESCAPED_SIZE];
	// The message to send: escaped, or the unescaped text of the line
	// when the escaped one does not fit.
	const char *message;
	bool has_timestamp;             // stamp is not empty
	uint64_t timestamp;             // stamp read in base 10
};

// Fills shape from line; shape->message may point into line, so line must
// outlive it. Prints a warning when the escaped text does not fit.
void log_shape_line(const char *line, struct log_shape *shape);
