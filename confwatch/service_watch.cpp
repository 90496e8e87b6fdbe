// Subscription to the bus object "service": looked up every 2 s while it is
// absent, subscribed to once found, looked up again after it leaves the bus.
// Its "config.change" notifications feed the reload timer.
#include "service_watch.h"
#include "reload.h"

#include <stdio.h>
#include <string.h>

extern "C" {
#include <libubox/uloop.h>
#include <libubus.h>
}

constexpr int LOOKUP_RETRY_MS = 2000;

static struct ubus_context *bus;
static struct ubus_subscriber service_subscriber;
static bool subscriber_registered;
static struct uloop_timeout lookup_timer;
// id of the last successful subscription; kept after the object left
static uint32_t service_id;

static void subscribe_service(uint32_t id)
{
	// The subscriber outlives the object it watched: register it only once.
	if (!subscriber_registered) {
		if (ubus_register_subscriber(bus, &service_subscriber)) {
			fputs("subscriber registration to service object failed\n", stderr);
			return;
		}
		subscriber_registered = true;
	}

	if (ubus_subscribe(bus, &service_subscriber, id)) {
		fputs("subscribe to service object failed\n", stderr);
		return;
	}
	service_id = id;
	puts("subscribed to service object");
}

static void lookup_service(void)
{
	uint32_t id;

	if (ubus_lookup_id(bus, "service", &id) == 0)
		subscribe_service(id);
	else
		uloop_timeout_set(&lookup_timer, LOOKUP_RETRY_MS);
}

static void lookup_timer_cb(struct uloop_timeout *)
{
	lookup_service();
}

static int service_notify_cb(struct ubus_context *, struct ubus_object *,
			     struct ubus_request_data *, const char *method,
			     struct blob_attr *)
{
	if (strcmp(method, "config.change") == 0) {
		puts("config.change event received");
		reload_schedule();
	}
	return 0;
}

static void service_remove_cb(struct ubus_context *, struct ubus_subscriber *, uint32_t)
{
	puts("service disappeared - resubscribing");
	uloop_timeout_set(&lookup_timer, LOOKUP_RETRY_MS);
}

void service_watch_start(struct ubus_context *ctx)
{
	bus = ctx;
	// Static, so zero: only the two handlers are ours. No new_obj_cb, so no
	// subscription by name pattern; the library fills in the object.
	service_subscriber.cb = service_notify_cb;
	service_subscriber.remove_cb = service_remove_cb;
	lookup_timer.cb = lookup_timer_cb;

	lookup_service();
}

void service_watch_stop(struct ubus_context *ctx)
{
	if (service_id)
		ubus_unsubscribe(ctx, &service_subscriber, service_id);
	// Unregistering follows list links that only registration sets up.
	if (subscriber_registered)
		ubus_unregister_subscriber(ctx, &service_subscriber);
}
