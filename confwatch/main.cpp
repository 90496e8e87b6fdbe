/*
 * confwatch: runs /sbin/reknit once the "config.change" notifications of the
 * bus object "service" have been quiet for 10 s. Runs until SIGINT or SIGTERM.
 */
#include <signal.h>
#include <stdio.h>

extern "C" {
#include <libubox/uloop.h>
#include <libubus.h>
}

#include "service_watch.h"

static volatile sig_atomic_t stop_requested;
static struct uloop_timeout stop_check_timer;

/* Async-signal context: no stdio here, the line is printed after the loop. */
static void stop_signal_handler(int)
{
	stop_requested = 1;
	uloop_cancelled = true;
}

static void stop_check_cb(struct uloop_timeout *)
{
	if (stop_requested)
		uloop_cancelled = true;
}

int main(void)
{
	/* Installed before uloop_init(), which then leaves them in place. */
	signal(SIGINT, stop_signal_handler);
	signal(SIGTERM, stop_signal_handler);

	uloop_init();

	struct ubus_context *ctx = ubus_connect(NULL);
	if (!ctx) {
		fputs("cannot connect to ubus\n", stderr);
		return 1;
	}
	ubus_add_uloop(ctx);

	service_watch_start(ctx);

	puts("ready to receive service events");

	/*
	 * uloop_run_timeout() clears uloop_cancelled as it starts, which would
	 * forget a stop that came during start-up. Skip the loop when one came;
	 * a timer due at once repeats a stop that lands just before the loop.
	 */
	if (!stop_requested) {
		stop_check_timer.cb = stop_check_cb;
		uloop_timeout_set(&stop_check_timer, 0);
		uloop_run_timeout(-1);
	}

	if (stop_requested)
		puts("signal received - exiting");
	puts("stopping to receive service events");

	service_watch_stop(ctx);
	ubus_free(ctx);
	uloop_done();
	return 0;
}
