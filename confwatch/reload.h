// Debounced reload: /sbin/reknit runs once the configuration changes have
// been quiet for 10 s.
#pragma once

// (Re)starts the quiet time after which /sbin/reknit runs once.
void reload_schedule(void);

// Runs /sbin/reknit now if a reload is pending, and forgets the timer.
// Prints "executing reload script" as the timer does.
void reload_run_pending(void);
