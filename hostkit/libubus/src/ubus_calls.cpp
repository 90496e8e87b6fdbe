/*
 * ubus_calls.cpp - method calls, replies, notifications and events
 */
#include "ubus_internal.h"

static void put_message(struct ubus_wire_buf *b, struct blob_attr *msg)
{
	if (msg)
		ubus_wire_put(b, UBUS_WIRE_ATTR_DATA, msg, blob_raw_len(msg));
}

int ubus_invoke(struct ubus_context *ctx, uint32_t obj, const char *method,
		struct blob_attr *msg, ubus_data_handler_t cb, void *priv,
		int timeout)
{
	struct ubus_sync_request sr;
	struct ubus_wire_buf b = {};

	if (!method)
		return UBUS_STATUS_INVALID_ARGUMENT;
	ubus_request_init(ctx, &sr);
	ubus_request_begin(ctx, &sr, &b, UBUS_WIRE_INVOKE);
	ubus_wire_put_u32(&b, UBUS_WIRE_ATTR_OBJID, obj);
	ubus_wire_put_string(&b, UBUS_WIRE_ATTR_METHOD, method);
	put_message(&b, msg);
	sr.req.peer = obj;
	sr.req.data_cb = cb;
	sr.req.priv = priv;
	return ubus_request_sync(ctx, &sr, &b, timeout);
}

int ubus_send_reply(struct ubus_context *ctx, struct ubus_request_data *req,
		    struct blob_attr *msg)
{
	struct ubus_wire_buf b = {};

	if (req->no_reply)
		return UBUS_STATUS_OK;
	ubus_wire_begin(&b, UBUS_WIRE_DATA, req->seq);
	ubus_wire_put_u32(&b, UBUS_WIRE_ATTR_CLIENT, req->peer);
	put_message(&b, msg);
	int ret = ubus_send_frame(ctx, &b);
	ubus_wire_release(&b);
	return ret;
}

int ubus_notify(struct ubus_context *ctx, struct ubus_object *obj,
		const char *type, struct blob_attr *msg, int timeout)
{
	struct ubus_sync_request sr;
	struct ubus_wire_buf b = {};

	if (!type || !obj->id || ubus_find_object(ctx, obj->id) != obj)
		return UBUS_STATUS_INVALID_ARGUMENT;
	ubus_request_init(ctx, &sr);
	ubus_request_begin(ctx, &sr, &b, UBUS_WIRE_NOTIFY);
	ubus_wire_put_u32(&b, UBUS_WIRE_ATTR_OBJID, obj->id);
	ubus_wire_put_string(&b, UBUS_WIRE_ATTR_METHOD, type);
	put_message(&b, msg);
	if (timeout < 0) {
		/* handed to the broker is done: nobody answers */
		ubus_wire_put_u8(&b, UBUS_WIRE_ATTR_NO_REPLY, 1);
		int ret = ubus_send_frame(ctx, &b);
		ubus_wire_release(&b);
		return ret;
	}
	sr.req.notify = true;
	return ubus_request_sync(ctx, &sr, &b, timeout);
}

int ubus_send_event(struct ubus_context *ctx, const char *id,
		    struct blob_attr *data)
{
	struct ubus_sync_request sr;
	struct ubus_wire_buf b = {};

	if (!id)
		return UBUS_STATUS_INVALID_ARGUMENT;
	ubus_request_init(ctx, &sr);
	ubus_request_begin(ctx, &sr, &b, UBUS_WIRE_EVENT_SEND);
	ubus_wire_put_string(&b, UBUS_WIRE_ATTR_METHOD, id);
	put_message(&b, data);
	return ubus_request_sync(ctx, &sr, &b, 0);
}

const char *ubus_strerror(int error)
{
	static const char *const texts[] = {
		"Success",
		"Invalid command",
		"Invalid argument",
		"Method not found",
		"Not found",
		"No response",
		"Permission denied",
		"Request timed out",
		"Operation not supported",
		"Unknown error",
		"Connection failed",
		"Out of memory",
		"Parsing message data failed",
		"System error",
	};
	static_assert(sizeof(texts) / sizeof(texts[0]) == __UBUS_STATUS_LAST, "one text per status");

	static char unknown[32];

	if (error >= 0 && error < __UBUS_STATUS_LAST)
		return texts[error];
	snprintf(unknown, sizeof(unknown), "Unknown error: %d", error);
	return unknown;
}
