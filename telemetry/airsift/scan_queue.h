// The scan-result queue: joined or created at start-up, drained from the
// event loop every 200 ms without blocking.
#pragma once

// Joins or creates the queue. On failure prints why and returns false.
bool open_scan_queue(void);

// Arms the first tick.
void start_scan_polling(void);

// Harmless on a timer that was never armed.
void stop_scan_polling(void);
