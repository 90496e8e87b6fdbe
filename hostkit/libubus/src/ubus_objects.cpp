/*
 * ubus_objects.cpp - registering objects, subscribers and event listeners,
 * subscriptions, and looking objects up
 */
#include "ubus_internal.h"

/* Notifications reach a subscriber as calls of its one unnamed method. */
static int watch_handler(struct ubus_context *ctx, struct ubus_object *obj,
			 struct ubus_request_data *req, const char *method, struct blob_attr *msg)
{
	struct ubus_subscriber *s = container_of(obj, struct ubus_subscriber, obj);
	return s->cb ? s->cb(ctx, obj, req, method, msg) : 0;
}

const struct ubus_method ubus_watch_method = { NULL, watch_handler, 0, 0, NULL, 0 };
const struct ubus_method ubus_event_method = { NULL, NULL, 0, 0, NULL, 0 };

int ubus_objects_compare(const void *k1, const void *k2, void *ptr)
{
	(void)ptr;
	uint32_t a = *(const uint32_t *)k1;
	uint32_t b = *(const uint32_t *)k2;
	return a < b ? -1 : a > b;
}

static bool is_registered(struct ubus_context *ctx, struct ubus_object *obj)
{
	return obj->id && ubus_find_object(ctx, obj->id) == obj;
}

/* The methods and their arguments: one table per method, argument -> type. */
static bool put_signature(struct ubus_wire_buf *frame, const struct ubus_object *obj)
{
	struct blob_buf b = {};
	if (blob_buf_init(&b, 0))
		return false;
	const struct ubus_method *methods = obj->methods;
	int n_methods = obj->n_methods;
	if (!methods && obj->type) {
		methods = obj->type->methods;
		n_methods = obj->type->n_methods;
	}
	for (int i = 0; i < n_methods; i++) {
		const struct ubus_method *m = &methods[i];
		if (!m->name)
			continue;
		void *table = blobmsg_open_table(&b, m->name);
		for (int j = 0; j < m->n_policy; j++) {
			if (m->policy[j].name)
				blobmsg_add_u32(&b, m->policy[j].name, m->policy[j].type);
		}
		blobmsg_close_table(&b, table);
	}
	ubus_wire_put(frame, UBUS_WIRE_ATTR_SIGNATURE, b.head, blob_raw_len(b.head));
	blob_buf_free(&b);
	return true;
}

struct add_answer {
	uint32_t id;
	uint32_t type_id;
};

static void take_add_answer(struct ubus_sync_request *sr, const struct ubus_wire_frame *f)
{
	struct add_answer *answer = (struct add_answer *)sr->req.priv;
	const uint8_t *id = f->attr[UBUS_WIRE_ATTR_OBJID];
	const uint8_t *type = f->attr[UBUS_WIRE_ATTR_OBJTYPE];
	if (f->type != UBUS_WIRE_STATUS || !id)
		return;
	answer->id = ubus_wire_get_u32(id);
	answer->type_id = type ? ubus_wire_get_u32(type) : 0;
}

int ubus_add_object(struct ubus_context *ctx, struct ubus_object *obj)
{
	struct ubus_sync_request sr;
	struct ubus_wire_buf b = {};

	if (is_registered(ctx, obj))
		return UBUS_STATUS_INVALID_ARGUMENT;
	ubus_request_init(ctx, &sr);
	ubus_request_begin(ctx, &sr, &b, UBUS_WIRE_ADD_OBJECT);
	if (obj->name)
		ubus_wire_put_string(&b, UBUS_WIRE_ATTR_OBJPATH, obj->name);
	if (obj->type && obj->type->id)
		ubus_wire_put_u32(&b, UBUS_WIRE_ATTR_OBJTYPE, obj->type->id);
	if (!put_signature(&b, obj)) {
		ubus_wire_release(&b);
		return UBUS_STATUS_NO_MEMORY;
	}
	struct add_answer answer = { 0, 0 };
	sr.req.priv = &answer;
	sr.frame_cb = take_add_answer;
	int ret = ubus_request_sync(ctx, &sr, &b, 0);
	if (ret)
		return ret;
	if (!answer.id)
		return UBUS_STATUS_UNKNOWN_ERROR;

	obj->id = answer.id;
	obj->has_subscribers = false;
	if (obj->type && !obj->type->id)
		obj->type->id = answer.type_id;
	obj->avl.key = &obj->id;
	avl_insert(&ctx->objects, &obj->avl);
	return UBUS_STATUS_OK;
}

int ubus_remove_object(struct ubus_context *ctx, struct ubus_object *obj)
{
	struct ubus_sync_request sr;
	struct ubus_wire_buf b = {};

	if (!is_registered(ctx, obj))
		return UBUS_STATUS_INVALID_ARGUMENT;

	ubus_request_init(ctx, &sr);
	ubus_request_begin(ctx, &sr, &b, UBUS_WIRE_REMOVE_OBJECT);
	ubus_wire_put_u32(&b, UBUS_WIRE_ATTR_OBJID, obj->id);
	int ret = ubus_request_sync(ctx, &sr, &b, 0);

	/* Without a broker the object is off the bus all the same. */
	if (!ret || ret == UBUS_STATUS_CONNECTION_FAILED) {
		avl_delete(&ctx->objects, &obj->avl);
		obj->id = 0;
		obj->has_subscribers = false;
	}
	return ret;
}

int ubus_register_subscriber(struct ubus_context *ctx, struct ubus_subscriber *s)
{
	INIT_LIST_HEAD(&s->list);
	s->obj.methods = &ubus_watch_method;
	s->obj.n_methods = 1;
	return ubus_add_object(ctx, &s->obj);
}

static int subscription(struct ubus_context *ctx, struct ubus_subscriber *s,
			uint32_t id, uint8_t type)
{
	struct ubus_sync_request sr;
	struct ubus_wire_buf b = {};

	if (!is_registered(ctx, &s->obj))
		return UBUS_STATUS_INVALID_ARGUMENT;
	ubus_request_init(ctx, &sr);
	ubus_request_begin(ctx, &sr, &b, type);
	ubus_wire_put_u32(&b, UBUS_WIRE_ATTR_OBJID, s->obj.id);
	ubus_wire_put_u32(&b, UBUS_WIRE_ATTR_TARGET, id);
	return ubus_request_sync(ctx, &sr, &b, 0);
}

int ubus_subscribe(struct ubus_context *ctx, struct ubus_subscriber *obj, uint32_t id)
{
	return subscription(ctx, obj, id, UBUS_WIRE_SUBSCRIBE);
}

int ubus_unsubscribe(struct ubus_context *ctx, struct ubus_subscriber *obj, uint32_t id)
{
	return subscription(ctx, obj, id, UBUS_WIRE_UNSUBSCRIBE);
}

int ubus_register_event_handler(struct ubus_context *ctx,
				struct ubus_event_handler *ev,
				const char *pattern)
{
	struct ubus_sync_request sr;
	struct ubus_wire_buf b = {};

	if (!is_registered(ctx, &ev->obj)) {
		ev->obj.methods = &ubus_event_method;
		ev->obj.n_methods = 1;
		int ret = ubus_add_object(ctx, &ev->obj);
		if (ret)
			return ret;
	}
	ubus_request_init(ctx, &sr);
	ubus_request_begin(ctx, &sr, &b, UBUS_WIRE_EVENT_REGISTER);
	ubus_wire_put_u32(&b, UBUS_WIRE_ATTR_OBJID, ev->obj.id);
	ubus_wire_put_string(&b, UBUS_WIRE_ATTR_PATTERN, pattern);
	return ubus_request_sync(ctx, &sr, &b, 0);
}

/* ----------- lookup ----------- */

struct lookup_state {
	ubus_lookup_handler_t cb;
	void *priv;
	bool found;
	uint32_t id;
};

static void lookup_answer(struct ubus_sync_request *sr, const struct ubus_wire_frame *f)
{
	struct lookup_state *st = (struct lookup_state *)sr->req.priv;
	const uint8_t *id = f->attr[UBUS_WIRE_ATTR_OBJID];
	const uint8_t *path = f->attr[UBUS_WIRE_ATTR_OBJPATH];
	const uint8_t *type = f->attr[UBUS_WIRE_ATTR_OBJTYPE];
	const uint8_t *sig = f->attr[UBUS_WIRE_ATTR_SIGNATURE];
	if (f->type != UBUS_WIRE_DATA || !id || !path)
		return;

	struct ubus_object_data data;
	data.id = ubus_wire_get_u32(id);
	data.type_id = type ? ubus_wire_get_u32(type) : 0;
	data.path = ubus_wire_get_string(path);
	data.signature = sig ? (struct blob_attr *)ubus_wire_payload(sig) : NULL;
	if (!st->found)
		st->id = data.id;
	st->found = true;
	if (st->cb)
		st->cb(sr->req.ctx, &data, st->priv);
}

int ubus_lookup(struct ubus_context *ctx, const char *path,
		ubus_lookup_handler_t cb, void *priv)
{
	struct ubus_sync_request sr;
	struct ubus_wire_buf b = {};
	struct lookup_state st = { cb, priv, false, 0 };

	ubus_request_init(ctx, &sr);
	ubus_request_begin(ctx, &sr, &b, UBUS_WIRE_LOOKUP);
	if (path)
		ubus_wire_put_string(&b, UBUS_WIRE_ATTR_OBJPATH, path);
	sr.req.priv = &st;
	sr.frame_cb = lookup_answer;
	return ubus_request_sync(ctx, &sr, &b, 0);
}

int ubus_lookup_id(struct ubus_context *ctx, const char *path, uint32_t *id)
{
	struct ubus_sync_request sr;
	struct ubus_wire_buf b = {};
	struct lookup_state st = { NULL, NULL, false, 0 };

	if (!path)
		return UBUS_STATUS_INVALID_ARGUMENT;
	ubus_request_init(ctx, &sr);
	ubus_request_begin(ctx, &sr, &b, UBUS_WIRE_LOOKUP);
	ubus_wire_put_string(&b, UBUS_WIRE_ATTR_OBJPATH, path);
	sr.req.priv = &st;
	sr.frame_cb = lookup_answer;
	int ret = ubus_request_sync(ctx, &sr, &b, 0);
	if (ret)
		return ret;
	if (!st.found)
		return UBUS_STATUS_NOT_FOUND;
	*id = st.id;
	return UBUS_STATUS_OK;
}
