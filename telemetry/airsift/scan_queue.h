// The scan-result queue: joined or created at start-up, drained from the
// event loop every 200 ms without blocking, at most 16 messages at a time:
// while messages remain the next batch follows at once, after the loop has
// served its other events. Every message is read, in queue order.
#pragma once

#include <stddef.h>

#include "scan_message.h"

// Joins or creates the queue. On failure prints why and returns false.
bool scan_queue_open(void);

// What a tick does with each message it receives: text_len is what msgrcv
// returned (at least 1). Reports the scan, or prints why it is dropped.
void scan_queue_handle_message(const struct scan_result_msg *message, size_t text_len);

// Arms the first tick.
void scan_queue_start_polling(void);

// Harmless on a timer that was never armed.
void scan_queue_stop_polling(void);
