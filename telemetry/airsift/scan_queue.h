// The scan-result queue: joined or created at start-up, drained from the
// event loop every 200 ms without blocking.
#pragma once

#include <stddef.h>

#include "scan_message.h"

// Joins or creates the queue. On failure prints why and returns false.
bool open_scan_queue(void);

// What a tick does with each message it receives: text_len is what msgrcv
// returned (at least 1). Reports the scan, or prints why it is dropped.
void scan_queue_handle_message(const struct scan_result_msg *message, size_t text_len);

// Arms the first tick.
void start_scan_polling(void);

// Harmless on a timer that was never armed.
void stop_scan_polling(void);
