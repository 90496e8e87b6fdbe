// Subscription to the bus object "service" and its notifications.
#pragma once

struct ubus_context;

// Finds the "service" object and subscribes to it, or keeps looking for it.
void service_watch_start(struct ubus_context *ctx);

// Drops the subscription and the subscriber, where there are any.
void service_watch_stop(struct ubus_context *ctx);
