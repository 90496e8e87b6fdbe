/*
 * ubus_dispatch.cpp - what arrives on its own: method calls and
 * notifications for our objects, subscriber changes, removals of objects
 * we subscribed to, and events
 */
#include "ubus_internal.h"

/* An empty message (a blob attribute with no payload) for frames without one. */
static const uint32_t empty_message = cpu_to_be32(4);

struct blob_attr *ubus_frame_message(const struct ubus_wire_frame *f)
{
	const uint8_t *data = f->attr[UBUS_WIRE_ATTR_DATA];
	if (!data)
		return (struct blob_attr *)&empty_message;
	return (struct blob_attr *)ubus_wire_payload(data);
}

struct ubus_object *ubus_find_object(struct ubus_context *ctx, uint32_t id)
{
	struct ubus_object *obj;
	return avl_find_element(&ctx->objects, &id, obj, avl);
}

/* The object of ours a frame is addressed to. */
static struct ubus_object *addressed_object(struct ubus_context *ctx, const struct ubus_wire_frame *f)
{
	const uint8_t *id = f->attr[UBUS_WIRE_ATTR_OBJID];
	return id ? ubus_find_object(ctx, ubus_wire_get_u32(id)) : NULL;
}

static const struct ubus_method *find_method(const struct ubus_object *obj, const char *name)
{
	for (int i = 0; i < obj->n_methods; i++) {
		/* a method without a name takes every call (subscribers) */
		if (!obj->methods[i].name || !strcmp(obj->methods[i].name, name))
			return &obj->methods[i];
	}
	return NULL;
}

static void send_status(struct ubus_context *ctx, struct ubus_request_data *req, int ret)
{
	struct ubus_wire_buf b = {};
	ubus_wire_begin(&b, UBUS_WIRE_STATUS, req->seq);
	ubus_wire_put_u32(&b, UBUS_WIRE_ATTR_STATUS, (uint32_t)ret);
	ubus_wire_put_u32(&b, UBUS_WIRE_ATTR_CLIENT, req->peer);
	ubus_send_frame(ctx, &b);
	ubus_wire_release(&b);
}

void ubus_complete_deferred_request(struct ubus_context *ctx,
				    struct ubus_request_data *req, int ret)
{
	if (!req->no_reply)
		send_status(ctx, req, ret);
}

static void handle_invoke(struct ubus_context *ctx, const struct ubus_wire_frame *f)
{
	const uint8_t *method = f->attr[UBUS_WIRE_ATTR_METHOD];
	const uint8_t *client = f->attr[UBUS_WIRE_ATTR_CLIENT];
	const uint8_t *no_reply = f->attr[UBUS_WIRE_ATTR_NO_REPLY];
	if (!f->attr[UBUS_WIRE_ATTR_OBJID] || !method || !client)
		return;

	struct ubus_request_data req;
	memset(&req, 0, sizeof(req));
	req.object = ubus_wire_get_u32(f->attr[UBUS_WIRE_ATTR_OBJID]);
	req.peer = ubus_wire_get_u32(client);
	req.seq = (uint16_t)f->seq;
	req.no_reply = no_reply && ubus_wire_get_u8(no_reply);
	req.fd = req.req_fd = -1;

	struct ubus_object *obj = addressed_object(ctx, f);
	const char *name = ubus_wire_get_string(method);
	const struct ubus_method *m = obj ? find_method(obj, name) : NULL;
	int ret;
	if (!obj)
		ret = UBUS_STATUS_NOT_FOUND;
	else if (!m || !m->handler)
		ret = UBUS_STATUS_METHOD_NOT_FOUND;
	else
		ret = m->handler(ctx, obj, &req, name, ubus_frame_message(f));

	if (!req.deferred)
		ubus_complete_deferred_request(ctx, &req, ret);
}

static void handle_subscribers(struct ubus_context *ctx, const struct ubus_wire_frame *f)
{
	const uint8_t *active = f->attr[UBUS_WIRE_ATTR_ACTIVE];
	struct ubus_object *obj = addressed_object(ctx, f);
	if (!obj || !active)
		return;
	obj->has_subscribers = ubus_wire_get_u8(active) != 0;
	if (obj->subscribe_cb)
		obj->subscribe_cb(ctx, obj);
}

static void handle_removed(struct ubus_context *ctx, const struct ubus_wire_frame *f)
{
	const uint8_t *target = f->attr[UBUS_WIRE_ATTR_TARGET];
	struct ubus_object *obj = addressed_object(ctx, f);
	if (!obj || obj->methods != &ubus_watch_method || !target)
		return;
	struct ubus_subscriber *s = container_of(obj, struct ubus_subscriber, obj);
	if (s->remove_cb)
		s->remove_cb(ctx, s, ubus_wire_get_u32(target));
}

static void handle_event(struct ubus_context *ctx, const struct ubus_wire_frame *f)
{
	const uint8_t *type = f->attr[UBUS_WIRE_ATTR_METHOD];
	struct ubus_object *obj = addressed_object(ctx, f);
	if (!obj || obj->methods != &ubus_event_method || !type)
		return;
	struct ubus_event_handler *ev = container_of(obj, struct ubus_event_handler, obj);
	if (ev->cb)
		ev->cb(ctx, ev, ubus_wire_get_string(type), ubus_frame_message(f));
}

void ubus_dispatch_frame(struct ubus_context *ctx, const struct ubus_wire_frame *f)
{
	switch (f->type) {
	case UBUS_WIRE_INVOKE:
		handle_invoke(ctx, f);
		break;
	case UBUS_WIRE_SUBSCRIBERS:
		handle_subscribers(ctx, f);
		break;
	case UBUS_WIRE_REMOVED:
		handle_removed(ctx, f);
		break;
	case UBUS_WIRE_EVENT:
		handle_event(ctx, f);
		break;
	default:
		break;
	}
}
