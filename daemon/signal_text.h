// Text of a stop-signal message, formatted without stdio so that a signal
// handler may build it: only plain stores, no locks, no allocation.
#pragma once

#include <stddef.h>

// Copies format into out (at most size - 1 bytes and a NUL), with its
// first "%d" replaced by number in decimal. Returns the length written.
size_t format_signal_text(char *out, size_t size, const char *format, int number);
