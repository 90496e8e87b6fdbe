/*
 * ubus_internal.h - what the parts of the client library share
 */
#ifndef UBUS_INTERNAL_H
#define UBUS_INTERNAL_H

#include <libubus.h>

#include "ubus_wire.h"

/* A frame received while nobody could handle it yet. */
struct ubus_pending_frame {
	struct list_head list;
	size_t len;
	uint8_t data[];
};

/* A request that waits for its answers; linked into ctx->requests by req.list. */
struct ubus_sync_request {
	struct ubus_request req;
	/* sees every answer frame first (fields the broker sends as attributes) */
	void (*frame_cb)(struct ubus_sync_request *sr, const struct ubus_wire_frame *f);
	/* notifications: the broker's count arrived, and replies still expected */
	bool counted;
	uint32_t expected;
};

/* connection: ubus_connection.cpp */
int ubus_send_frame(struct ubus_context *ctx, struct ubus_wire_buf *b);
void ubus_request_init(struct ubus_context *ctx, struct ubus_sync_request *sr);
/* Starts a request frame of the given type with a fresh sequence number. */
void ubus_request_begin(struct ubus_context *ctx, struct ubus_sync_request *sr,
			struct ubus_wire_buf *b, uint8_t type);
/*
 * Sends the frame built in b and waits up to timeout_ms (0: no limit) for
 * the final status; answers go to the request's handlers on the way.
 * Releases b.
 */
int ubus_request_sync(struct ubus_context *ctx, struct ubus_sync_request *sr,
		      struct ubus_wire_buf *b, int timeout_ms);

/* dispatch of what arrives on its own: ubus_dispatch.cpp */
void ubus_dispatch_frame(struct ubus_context *ctx, const struct ubus_wire_frame *f);
struct ubus_object *ubus_find_object(struct ubus_context *ctx, uint32_t id);
/* The message of a frame, or an empty one. */
struct blob_attr *ubus_frame_message(const struct ubus_wire_frame *f);

/* objects: ubus_objects.cpp */
int ubus_objects_compare(const void *k1, const void *k2, void *ptr);
/* The method lists that mark subscribers and event listeners. */
extern const struct ubus_method ubus_watch_method;
extern const struct ubus_method ubus_event_method;

#endif
