// confwatch: runs /sbin/reknit once the "config.change" notifications of the
// bus object "service" have been quiet for 10 s. Runs until SIGINT or
// SIGTERM, or until it loses the bus.

#include <stdio.h>

extern "C" {
#include <libubox/uloop.h>
#include <libubus.h>
}

#include "daemon_stop.h"
#include "reload.h"
#include "service_watch.h"

int main(void)
{
	// No text in the handler: its line is printed with puts, after the loop.
	if (!daemon_stop_init_loop(NULL)) {
		fputs("cannot initialize uloop\n", stderr);
		return 1;
	}

	struct ubus_context *ctx = ubus_connect(NULL);
	if (!ctx) {
		fputs("cannot connect to ubus\n", stderr);
		return 1;
	}
	ubus_add_uloop(ctx);
	daemon_stop_watch_bus(ctx, "lost connection to ubus\n");

	service_watch_start(ctx);

	puts("ready to receive service events");

	daemon_stop_run_loop();

	bool bus_lost = daemon_stop_bus_lost();
	if (daemon_stop_signalled())
		puts("signal received - exiting");
	else if (bus_lost)
		// A change was announced and would otherwise never be applied: run
		// its reload now, before the teardown, instead of dropping it.
		reload_run_pending();
	puts("stopping to receive service events");

	service_watch_stop(ctx);
	ubus_free(ctx);
	uloop_done();
	// Off the bus it hears nothing: fail, so that the service manager
	// starts it again on the new broker.
	return bus_lost ? 1 : 0;
}
