/*
 * libubus - client library of the ubus message bus
 *
 * A program connects to the broker (ubusd) over a Unix stream socket,
 * registers objects under a path, calls methods of other objects, sends
 * notifications to the subscribers of its objects, subscribes to objects of
 * others and exchanges events.
 *
 * Everything that arrives on its own (method calls, notifications,
 * subscriber changes, removals, events) is handled from the event loop
 * through the socket's uloop callback. The calls that need the broker's
 * answer (lookup, add and remove object, subscribe, invoke, sending an
 * event) wait for it; what arrives meanwhile is queued and delivered from
 * the loop afterwards, in order.
 *
 * When the broker goes away, the socket's uloop callback reads the end of
 * the stream and runs the connection_lost handler of the context; nothing
 * else calls it. The default one takes the socket out of the loop, where
 * the loop has not done so already for a hung-up socket: the program keeps
 * running without the bus, every call failing with
 * UBUS_STATUS_CONNECTION_FAILED. A program that must notice sets its own.
 */
#ifndef __LIBUBUS_H
#define __LIBUBUS_H

#ifdef __cplusplus
extern "C" {
#endif

#include <libubox/avl.h>
#include <libubox/list.h>
#include <libubox/blobmsg.h>
#include <libubox/uloop.h>
#include <stdbool.h>
#include <stdint.h>
#include <string.h>

#define UBUS_UNIX_SOCKET "/var/run/ubus/ubus.sock"

#define UBUS_MAX_NOTIFY_PEERS	16

struct ubus_context;
struct ubus_object;
struct ubus_request;
struct ubus_request_data;
struct ubus_object_data;
struct ubus_event_handler;
struct ubus_subscriber;

enum ubus_msg_status {
	UBUS_STATUS_OK,
	UBUS_STATUS_INVALID_COMMAND,
	UBUS_STATUS_INVALID_ARGUMENT,
	UBUS_STATUS_METHOD_NOT_FOUND,
	UBUS_STATUS_NOT_FOUND,
	UBUS_STATUS_NO_DATA,
	UBUS_STATUS_PERMISSION_DENIED,
	UBUS_STATUS_TIMEOUT,
	UBUS_STATUS_NOT_SUPPORTED,
	UBUS_STATUS_UNKNOWN_ERROR,
	UBUS_STATUS_CONNECTION_FAILED,
	UBUS_STATUS_NO_MEMORY,
	UBUS_STATUS_PARSE_ERROR,
	UBUS_STATUS_SYSTEM_ERROR,
	__UBUS_STATUS_LAST
};

/* Kinds of answer a data handler can be given. */
enum ubus_msg_type {
	UBUS_MSG_HELLO,
	UBUS_MSG_STATUS,
	UBUS_MSG_DATA,
};

typedef void (*ubus_lookup_handler_t)(struct ubus_context *ctx,
				      struct ubus_object_data *obj,
				      void *priv);
typedef int (*ubus_handler_t)(struct ubus_context *ctx, struct ubus_object *obj,
			      struct ubus_request_data *req,
			      const char *method, struct blob_attr *msg);
typedef void (*ubus_state_handler_t)(struct ubus_context *ctx, struct ubus_object *obj);
typedef void (*ubus_remove_handler_t)(struct ubus_context *ctx,
				      struct ubus_subscriber *obj, uint32_t id);
typedef bool (*ubus_new_object_handler_t)(struct ubus_context *ctx,
					  struct ubus_subscriber *sub,
					  const char *path);
typedef void (*ubus_event_handler_t)(struct ubus_context *ctx, struct ubus_event_handler *ev,
				     const char *type, struct blob_attr *msg);
typedef void (*ubus_data_handler_t)(struct ubus_request *req,
				    int type, struct blob_attr *msg);
typedef void (*ubus_complete_handler_t)(struct ubus_request *req, int ret);
typedef void (*ubus_connect_handler_t)(struct ubus_context *ctx);

struct ubus_method {
	const char *name;
	ubus_handler_t handler;

	unsigned long mask;
	unsigned long tags;
	const struct blobmsg_policy *policy;
	int n_policy;
};

/* Every member named, in order, so that C++ users get no warnings. */
#define __UBUS_METHOD_BASE(_name, _handler, _mask, _tags)	\
	.name = _name,						\
	.handler = _handler,					\
	.mask = _mask,						\
	.tags = _tags

#define __UBUS_METHOD(_name, _handler, _policy, _mask, _tags)	\
	__UBUS_METHOD_BASE(_name, _handler, _mask, _tags),	\
	.policy = _policy,					\
	.n_policy = ARRAY_SIZE(_policy)

#define __UBUS_METHOD_NOARG(_name, _handler, _mask, _tags)	\
	__UBUS_METHOD_BASE(_name, _handler, _mask, _tags),	\
	.policy = NULL,						\
	.n_policy = 0

#define UBUS_METHOD(_name, _handler, _policy)			\
	{ __UBUS_METHOD(_name, _handler, _policy, 0, 0) }

#define UBUS_METHOD_TAG(_name, _handler, _policy, _tags)	\
	{ __UBUS_METHOD(_name, _handler, _policy, 0, _tags) }

#define UBUS_METHOD_MASK(_name, _handler, _policy, _mask)	\
	{ __UBUS_METHOD(_name, _handler, _policy, _mask, 0) }

#define UBUS_METHOD_NOARG(_name, _handler)			\
	{ __UBUS_METHOD_NOARG(_name, _handler, 0, 0) }

#define UBUS_METHOD_TAG_NOARG(_name, _handler, _tags)		\
	{ __UBUS_METHOD_NOARG(_name, _handler, 0, _tags) }

struct ubus_object_type {
	const char *name;
	uint32_t id;

	const struct ubus_method *methods;
	int n_methods;
};

#define UBUS_OBJECT_TYPE(_name, _methods)		\
	{						\
		.name = _name,				\
		.id = 0,				\
		.methods = _methods,			\
		.n_methods = ARRAY_SIZE(_methods)	\
	}

struct ubus_object {
	struct avl_node avl;

	const char *name;
	uint32_t id;

	const char *path;
	struct ubus_object_type *type;

	ubus_state_handler_t subscribe_cb;
	bool has_subscribers;

	const struct ubus_method *methods;
	int n_methods;
};

struct ubus_subscriber {
	struct list_head list;
	struct ubus_object obj;

	ubus_handler_t cb;
	ubus_remove_handler_t remove_cb;
	ubus_new_object_handler_t new_obj_cb;
};

struct ubus_event_handler {
	struct ubus_object obj;

	ubus_event_handler_t cb;
};

struct ubus_context {
	struct list_head requests;	/* synchronous requests waiting for answers */
	struct avl_tree objects;	/* registered objects, by id */
	struct list_head pending;	/* received frames waiting for the loop */

	struct uloop_fd sock;
	struct uloop_timeout pending_timer;

	uint32_t local_id;
	uint16_t request_seq;
	bool connected;
	int stack_depth;

	void (*connection_lost)(struct ubus_context *ctx);

	/* what was read from the socket and is not yet a complete frame */
	uint8_t *rbuf;
	size_t rbuf_len;
	size_t rbuf_size;
};

struct ubus_object_data {
	uint32_t id;
	uint32_t type_id;
	const char *path;
	struct blob_attr *signature;
};

struct ubus_request_data {
	uint32_t object;
	uint32_t peer;
	uint16_t seq;

	/* internal use */
	bool deferred;
	bool no_reply;
	int fd;
	int req_fd;
};

struct ubus_request {
	struct list_head list;

	int status_code;
	bool status_msg;
	bool blocked;
	bool cancelled;
	bool notify;

	uint32_t peer;
	uint16_t seq;

	ubus_data_handler_t raw_data_cb;
	ubus_data_handler_t data_cb;
	ubus_complete_handler_t complete_cb;

	int fd;

	struct ubus_context *ctx;
	void *priv;
};

struct ubus_context *ubus_connect(const char *path);
int ubus_connect_ctx(struct ubus_context *ctx, const char *path);
void ubus_shutdown(struct ubus_context *ctx);
void ubus_free(struct ubus_context *ctx);

const char *ubus_strerror(int error);

static inline void ubus_add_uloop(struct ubus_context *ctx)
{
	uloop_fd_add(&ctx->sock, ULOOP_BLOCKING | ULOOP_READ);
}

/* call this for read events on ctx->sock.fd when not using uloop */
static inline void ubus_handle_event(struct ubus_context *ctx)
{
	ctx->sock.cb(&ctx->sock, ULOOP_READ);
}

/* ----------- objects ----------- */

int ubus_lookup(struct ubus_context *ctx, const char *path,
		ubus_lookup_handler_t cb, void *priv);

int ubus_lookup_id(struct ubus_context *ctx, const char *path, uint32_t *id);

/* make an object visible to remote connections */
int ubus_add_object(struct ubus_context *ctx, struct ubus_object *obj);

/* remove the object from the bus */
int ubus_remove_object(struct ubus_context *ctx, struct ubus_object *obj);

/*
 * Register the subscriber's embedded object (it needs no name). Its cb
 * receives the notifications of the objects it subscribes to, with method
 * set to the notification type; remove_cb runs when such an object leaves
 * the bus. Subscribing by path pattern (new_obj_cb) is not offered.
 */
int ubus_register_subscriber(struct ubus_context *ctx, struct ubus_subscriber *obj);

static inline int
ubus_unregister_subscriber(struct ubus_context *ctx, struct ubus_subscriber *obj)
{
	if (!list_empty(&obj->list))
		list_del(&obj->list);
	return ubus_remove_object(ctx, &obj->obj);
}

int ubus_subscribe(struct ubus_context *ctx, struct ubus_subscriber *obj, uint32_t id);
int ubus_unsubscribe(struct ubus_context *ctx, struct ubus_subscriber *obj, uint32_t id);

/* ----------- rpc ----------- */

/*
 * Call a method and wait up to timeout ms (0: no limit) for its status;
 * cb gets each reply message.
 */
int ubus_invoke(struct ubus_context *ctx, uint32_t obj, const char *method,
		struct blob_attr *msg, ubus_data_handler_t cb, void *priv,
		int timeout);

/* send a reply to an incoming object method call */
int ubus_send_reply(struct ubus_context *ctx, struct ubus_request_data *req,
		    struct blob_attr *msg);

static inline void ubus_defer_request(struct ubus_context *ctx,
				      struct ubus_request_data *req,
				      struct ubus_request_data *new_req)
{
	(void) ctx;
	memcpy(new_req, req, sizeof(*req));
	req->deferred = true;
}

void ubus_complete_deferred_request(struct ubus_context *ctx,
				    struct ubus_request_data *req, int ret);

/*
 * Send a notification to all subscribers of an object. With a negative
 * timeout it returns once the broker has the message; otherwise it waits
 * up to timeout ms (0: no limit) for every subscriber's reply.
 */
int ubus_notify(struct ubus_context *ctx, struct ubus_object *obj,
		const char *type, struct blob_attr *msg, int timeout);

/* ----------- events ----------- */

int ubus_send_event(struct ubus_context *ctx, const char *id,
		    struct blob_attr *data);

/*
 * Listen to events whose type is pattern, or starts with it when it ends
 * in '*' ("*" gets all).
 */
int ubus_register_event_handler(struct ubus_context *ctx,
				struct ubus_event_handler *ev,
				const char *pattern);

static inline int ubus_unregister_event_handler(struct ubus_context *ctx,
						struct ubus_event_handler *ev)
{
	return ubus_remove_object(ctx, &ev->obj);
}

#ifdef __cplusplus
}
#endif

#endif
