// How a daemon stops: a stop signal (SIGINT or SIGTERM) or the loss of its
// bus connection ends its event loop, whatever the moment: before the loop
// runs, while a callback runs, or just before the loop waits for events.
//
//	if (!daemon_stop_init_loop(stop_message))   -> message, exit 1
//	ctx = ubus_connect(NULL);  ubus_add_uloop(ctx);
//	daemon_stop_watch_bus(ctx, lost_message);
//	... start-up ...
//	daemon_stop_run_loop();
//	... teardown; exit 1 if daemon_stop_bus_lost()
#pragma once

extern "C" {
#include <libubus.h>
}

// Installs the stop-signal handler for SIGINT, then SIGTERM, and then
// initialises the event loop (uloop_init()). The handler writes message to
// standard error, formatted here as by printf with the signal number for its
// one "%d" and cut to 159 bytes (NULL: writes nothing), records the stop,
// sets uloop_cancelled and wakes the loop through the loop's own signal
// delivery (uloop_signal_add()). A stop signal that comes while this runs
// is held and handled once everything is in place; the two signals are
// left unblocked, whatever mask the daemon was started with. Returns false,
// printing nothing, when the loop cannot be initialised.
bool daemon_stop_init_loop(const char *message);

// Makes the loss of ctx's broker connection a stop: the context's
// connection_lost handler writes message to standard error (NULL: writes
// nothing) and ends the loop. The bus library calls it when it reads the
// end of the stream.
void daemon_stop_watch_bus(struct ubus_context *ctx, const char *message);

// Runs the event loop until a stop. A stop that came before skips the loop.
void daemon_stop_run_loop(void);

// True once a stop signal arrived, whether or not the loop was running.
bool daemon_stop_signalled(void);

// True once the bus connection was lost.
bool daemon_stop_bus_lost(void);
