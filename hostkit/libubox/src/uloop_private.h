// Pieces of the event loop shared between its files.
#ifndef HOSTKIT_UBOX_ULOOP_PRIVATE_H
#define HOSTKIT_UBOX_ULOOP_PRIVATE_H

#include <signal.h>
#include <stdint.h>

struct timeval;

// uloop_timeout.cpp: timers and child processes
void uloop_gettime(struct timeval *tv);
void uloop_run_expired_timeouts(void);
int uloop_next_timeout_ms(void);
void uloop_clear_timeouts(void);
void uloop_reap_children(void);
void uloop_clear_processes(void);

// uloop_signals.cpp: signal handlers and the pipe they wake the loop with
int uloop_signals_init(void);
void uloop_signals_done(void);
extern volatile sig_atomic_t uloop_sigchld_pending;
extern int uloop_status;

#endif
