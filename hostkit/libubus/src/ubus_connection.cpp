/*
 * ubus_connection.cpp - the socket to the broker: connecting, reading
 * frames, requests that wait for their answer, and the queue of frames
 * that arrive meanwhile
 */
#include "ubus_internal.h"

#include <errno.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

enum { READ_CHUNK = 16384, READ_PER_EVENT = 16 * READ_CHUNK };

static int64_t now_ms(void)
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

/*
 * Takes the socket out of the loop (the loop has mostly done so already, for
 * a hung-up socket): the program goes on without the bus. Programs that
 * must not go on set their own.
 */
static void ubus_default_connection_lost(struct ubus_context *ctx)
{
	if (ctx->sock.registered)
		uloop_fd_delete(&ctx->sock);
}

int ubus_send_frame(struct ubus_context *ctx, struct ubus_wire_buf *b)
{
	if (!ubus_wire_end(b))
		return b->too_large ? UBUS_STATUS_INVALID_ARGUMENT : UBUS_STATUS_NO_MEMORY;
	if (!ctx->connected)
		return UBUS_STATUS_CONNECTION_FAILED;

	size_t done = 0;
	while (done < b->len) {
		ssize_t n = send(ctx->sock.fd, b->data + done, b->len - done, MSG_NOSIGNAL);
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
			struct pollfd pfd = { ctx->sock.fd, POLLOUT, 0 };
			poll(&pfd, 1, -1);
			continue;
		}
		if (n <= 0)
			return UBUS_STATUS_CONNECTION_FAILED;  /* the read callback sees the end */
		done += n;
	}
	return UBUS_STATUS_OK;
}

/* Reads what the socket holds; false at EOF or on an error. */
static bool read_available(struct ubus_context *ctx)
{
	size_t total = 0;
	while (total < READ_PER_EVENT) {
		if (ctx->rbuf_size - ctx->rbuf_len < READ_CHUNK) {
			size_t size = ctx->rbuf_size ? ctx->rbuf_size * 2 : 4 * READ_CHUNK;
			uint8_t *buf = (uint8_t *)realloc(ctx->rbuf, size);
			if (!buf)
				return false;
			ctx->rbuf = buf;
			ctx->rbuf_size = size;
		}
		ssize_t n = recv(ctx->sock.fd, ctx->rbuf + ctx->rbuf_len, READ_CHUNK, MSG_DONTWAIT);
		if (n > 0) {
			ctx->rbuf_len += n;
			total += n;
			continue;
		}
		if (n < 0 && errno == EINTR)
			continue;
		return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
	}
	return true;
}

static struct ubus_sync_request *find_request(struct ubus_context *ctx, uint32_t seq)
{
	struct ubus_sync_request *sr;
	list_for_each_entry(sr, &ctx->requests, req.list) {
		if (sr->req.seq == seq)
			return sr;
	}
	return NULL;
}

static void complete_request(struct ubus_request *req, int status)
{
	req->status_code = status;
	req->status_msg = true;
	list_del_init(&req->list);
}

static void handle_answer(struct ubus_context *ctx, const struct ubus_wire_frame *f)
{
	struct ubus_sync_request *sr = find_request(ctx, f->seq);
	if (!sr)
		return;  /* late: its request timed out */
	struct ubus_request *req = &sr->req;

	if (sr->frame_cb)
		sr->frame_cb(sr, f);
	if (f->type == UBUS_WIRE_DATA) {
		if (req->raw_data_cb)
			req->raw_data_cb(req, UBUS_MSG_DATA, ubus_frame_message(f));
		if (req->data_cb && f->attr[UBUS_WIRE_ATTR_DATA])
			req->data_cb(req, UBUS_MSG_DATA, ubus_frame_message(f));
		return;
	}

	const uint8_t *status = f->attr[UBUS_WIRE_ATTR_STATUS];
	int code = status ? (int)ubus_wire_get_u32(status) : UBUS_STATUS_UNKNOWN_ERROR;
	if (!req->notify)
		return complete_request(req, code);

	/* A notification: the broker's count first, then one status per subscriber. */
	const uint8_t *count = f->attr[UBUS_WIRE_ATTR_COUNT];
	if (!sr->counted && !f->attr[UBUS_WIRE_ATTR_CLIENT]) {
		sr->counted = true;
		sr->expected = count ? ubus_wire_get_u32(count) : 0;
		if (code != UBUS_STATUS_OK)
			return complete_request(req, code);
	} else if (sr->expected) {
		sr->expected--;
	}
	if (sr->counted && !sr->expected)
		complete_request(req, UBUS_STATUS_OK);
}

static void queue_frame(struct ubus_context *ctx, const uint8_t *data, size_t len)
{
	struct ubus_pending_frame *p =
		(struct ubus_pending_frame *)malloc(sizeof(*p) + len);
	if (!p)
		return;
	p->len = len;
	memcpy(p->data, data, len);
	list_add_tail(&p->list, &ctx->pending);
}

/*
 * Takes every complete frame out of the read buffer: answers go to their
 * waiting requests at once, everything else joins the queue.
 */
static bool split_frames(struct ubus_context *ctx)
{
	size_t pos = 0;
	bool ok = true;
	for (;;) {
		long len = ubus_wire_frame_len(ctx->rbuf + pos, ctx->rbuf_len - pos);
		if (len < 0) {
			ok = false;
			break;
		}
		if (len == 0 || (size_t)len > ctx->rbuf_len - pos)
			break;
		struct ubus_wire_frame f;
		if (!ubus_wire_parse(ctx->rbuf + pos, len, &f)) {
			ok = false;
			break;
		}
		if (f.type == UBUS_WIRE_STATUS || f.type == UBUS_WIRE_DATA)
			handle_answer(ctx, &f);
		else
			queue_frame(ctx, ctx->rbuf + pos, len);
		pos += len;
	}
	memmove(ctx->rbuf, ctx->rbuf + pos, ctx->rbuf_len - pos);
	ctx->rbuf_len -= pos;
	return ok;
}

/* Delivers queued frames, unless a request is still waiting further up. */
static void process_pending(struct ubus_context *ctx)
{
	while (!ctx->stack_depth && !list_empty(&ctx->pending)) {
		struct ubus_pending_frame *p =
			list_first_entry(&ctx->pending, struct ubus_pending_frame, list);
		list_del(&p->list);
		struct ubus_wire_frame f;
		if (ubus_wire_parse(p->data, p->len, &f))
			ubus_dispatch_frame(ctx, &f);
		free(p);
	}
}

static void pending_timer_cb(struct uloop_timeout *t)
{
	struct ubus_context *ctx = container_of(t, struct ubus_context, pending_timer);
	process_pending(ctx);
}

/*
 * The socket's read callback, and the only place that declares the
 * connection lost: once it reads the end of the stream (or garbage), it
 * runs the program's connection_lost handler, as the platform's does.
 */
static void ubus_handle_data(struct uloop_fd *u, unsigned int events)
{
	struct ubus_context *ctx = container_of(u, struct ubus_context, sock);
	(void)events;

	if (!ctx->connected) {
		/* a connection_lost handler of the program left the socket in the loop */
		uloop_fd_delete(u);
		return;
	}
	bool open;
	do {
		open = read_available(ctx);
		if (!split_frames(ctx))
			open = false;  /* garbage from the broker: treat as lost */
		process_pending(ctx);
		/* A hung-up socket is out of the loop and gets no second call. */
	} while (open && ctx->connected && (u->eof || u->error));
	if (open || !ctx->connected)
		return;
	ctx->connected = false;
	if (ctx->connection_lost)
		ctx->connection_lost(ctx);
}

void ubus_request_init(struct ubus_context *ctx, struct ubus_sync_request *sr)
{
	memset(sr, 0, sizeof(*sr));
	INIT_LIST_HEAD(&sr->req.list);
	sr->req.ctx = ctx;
	sr->req.fd = -1;
}

void ubus_request_begin(struct ubus_context *ctx, struct ubus_sync_request *sr,
			struct ubus_wire_buf *b, uint8_t type)
{
	if (!++ctx->request_seq)
		ctx->request_seq++;  /* 0 is what the broker uses for its own frames */
	sr->req.seq = ctx->request_seq;
	ubus_wire_begin(b, type, sr->req.seq);
}

int ubus_request_sync(struct ubus_context *ctx, struct ubus_sync_request *sr,
		      struct ubus_wire_buf *b, int timeout_ms)
{
	struct ubus_request *req = &sr->req;
	int ret = ubus_send_frame(ctx, b);
	ubus_wire_release(b);
	if (ret)
		return ret;

	list_add(&req->list, &ctx->requests);
	ctx->stack_depth++;
	int64_t deadline = timeout_ms > 0 ? now_ms() + timeout_ms : 0;
	ret = UBUS_STATUS_OK;
	while (!req->status_msg) {
		int wait = -1;
		if (deadline) {
			int64_t left = deadline - now_ms();
			if (left <= 0) {
				ret = UBUS_STATUS_TIMEOUT;
				break;
			}
			wait = (int)left;
		}
		struct pollfd pfd = { ctx->sock.fd, POLLIN, 0 };
		int n = poll(&pfd, 1, wait);
		if (n < 0 && errno == EINTR) {
			if (uloop_cancelled) {
				/* the program is stopping: do not hold it up */
				ret = UBUS_STATUS_TIMEOUT;
				break;
			}
			continue;
		}
		if (n <= 0)
			continue;
		bool open = read_available(ctx);
		if (!split_frames(ctx) || !open) {
			/* the socket stays in the loop, whose read callback sees the end */
			ret = UBUS_STATUS_CONNECTION_FAILED;
			break;
		}
	}
	ctx->stack_depth--;
	if (!req->status_msg)
		list_del_init(&req->list);
	else
		ret = req->status_code;

	/* What arrived meanwhile is delivered from the loop, in order. */
	if (!list_empty(&ctx->pending) && !ctx->stack_depth)
		uloop_timeout_set(&ctx->pending_timer, 0);
	return ret;
}

static bool wait_hello(struct ubus_context *ctx)
{
	for (;;) {
		struct pollfd pfd = { ctx->sock.fd, POLLIN, 0 };
		int n = poll(&pfd, 1, -1);
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0 || !read_available(ctx))
			return false;
		long len = ubus_wire_frame_len(ctx->rbuf, ctx->rbuf_len);
		if (len < 0)
			return false;
		if (len == 0 || (size_t)len > ctx->rbuf_len)
			continue;
		struct ubus_wire_frame f;
		if (!ubus_wire_parse(ctx->rbuf, len, &f) || f.type != UBUS_WIRE_HELLO ||
		    !f.attr[UBUS_WIRE_ATTR_CLIENT])
			return false;
		ctx->local_id = ubus_wire_get_u32(f.attr[UBUS_WIRE_ATTR_CLIENT]);
		memmove(ctx->rbuf, ctx->rbuf + len, ctx->rbuf_len - len);
		ctx->rbuf_len -= len;
		return true;
	}
}

int ubus_connect_ctx(struct ubus_context *ctx, const char *path)
{
	struct sockaddr_un addr;

	memset(ctx, 0, sizeof(*ctx));
	INIT_LIST_HEAD(&ctx->requests);
	INIT_LIST_HEAD(&ctx->pending);
	avl_init(&ctx->objects, ubus_objects_compare, false, NULL);
	ctx->sock.fd = -1;
	ctx->sock.cb = ubus_handle_data;
	ctx->pending_timer.cb = pending_timer_cb;
	ctx->connection_lost = ubus_default_connection_lost;

	if (!path)
		path = UBUS_UNIX_SOCKET;
	memset(&addr, 0, sizeof(addr));
	addr.sun_family = AF_UNIX;
	if (strlen(path) >= sizeof(addr.sun_path))
		return -1;
	strcpy(addr.sun_path, path);

	ctx->sock.fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
	if (ctx->sock.fd < 0)
		return -1;
	if (connect(ctx->sock.fd, (struct sockaddr *)&addr, sizeof(addr)) < 0 || !wait_hello(ctx)) {
		close(ctx->sock.fd);
		ctx->sock.fd = -1;
		free(ctx->rbuf);
		ctx->rbuf = NULL;
		return -1;
	}
	ctx->connected = true;
	return 0;
}

struct ubus_context *ubus_connect(const char *path)
{
	struct ubus_context *ctx = (struct ubus_context *)calloc(1, sizeof(*ctx));
	if (!ctx)
		return NULL;
	if (ubus_connect_ctx(ctx, path)) {
		free(ctx);
		return NULL;
	}
	return ctx;
}

void ubus_shutdown(struct ubus_context *ctx)
{
	if (!ctx)
		return;
	if (ctx->sock.registered)
		uloop_fd_delete(&ctx->sock);
	uloop_timeout_cancel(&ctx->pending_timer);
	if (ctx->sock.fd >= 0)
		close(ctx->sock.fd);
	ctx->sock.fd = -1;
	ctx->connected = false;
	while (!list_empty(&ctx->pending)) {
		struct ubus_pending_frame *p =
			list_first_entry(&ctx->pending, struct ubus_pending_frame, list);
		list_del(&p->list);
		free(p);
	}
	free(ctx->rbuf);
	ctx->rbuf = NULL;
	ctx->rbuf_len = ctx->rbuf_size = 0;
}

void ubus_free(struct ubus_context *ctx)
{
	ubus_shutdown(ctx);
	free(ctx);
}
