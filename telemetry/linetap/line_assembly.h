// Cuts the logread stream into lines, whatever chunks it arrives in.
#pragma once

#include <stddef.h>

enum { LINE_BUF_SIZE = 2048 }; // at most 2047 bytes of a line and a NUL

typedef void (*log_line_handler)(const char *line, void *arg);

// Adds n bytes of the stream to the line being assembled. At each newline
// a non-empty line is handed to on_line, NUL-terminated and without its
// newline, before the next byte is looked at. Bytes past the 2047th of a
// line are dropped; bytes after the last newline wait for the next chunk.
void assemble_log_chunk(const char *chunk, size_t n, log_line_handler on_line, void *arg);
