#ifndef CONFWATCH_SERVICE_WATCH_H
#define CONFWATCH_SERVICE_WATCH_H

struct ubus_context;

/* Find the "service" object and subscribe to it, or keep looking for it. */
void service_watch_start(struct ubus_context *ctx);

/* Drop the subscription and the subscriber, where there are any. */
void service_watch_stop(struct ubus_context *ctx);

#endif
