/*
 * bus_client - a bus client driven line by line from standard input, for
 * the bus tests. Written in C against the public libubus interface only.
 *
 *   bus_client [-s <socket>]
 *
 * Commands (one per line), each answered by one line:
 *   add <name>                       register an object with methods echo and deny
 *   remove <name>                    remove it
 *   notify <name> <type> <timeout> <text>
 *                                    notify {"msg_type":"status","data":{"log":
 *                                    {"timestamp":1234567,"message":<text>}}}
 *   flood <name> <count> <size>      count notifications "flood" {"seq":i,"pad":...}
 *   subscribe <path>                 subscribe (the one subscriber) to an object
 *   unsubscribe <path>
 *   lookup <path>
 *   state                            connection state as the loop sees it
 *   quit
 * Lines printed on their own:
 *   subscribers <name> <0|1>, notification <type> <json>, removed <id>
 */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <libubox/blobmsg_json.h>
#include <libubox/uloop.h>
#include <libubus.h>

#define MAX_OBJECTS 4

static struct ubus_context *ctx;
static struct blob_buf buf;

static int echo_method(struct ubus_context *c, struct ubus_object *obj,
		       struct ubus_request_data *req, const char *method, struct blob_attr *msg)
{
	(void) obj;
	(void) method;
	return ubus_send_reply(c, req, msg);
}

static int deny_method(struct ubus_context *c, struct ubus_object *obj,
		       struct ubus_request_data *req, const char *method, struct blob_attr *msg)
{
	(void) c; (void) obj; (void) req; (void) method; (void) msg;
	return UBUS_STATUS_PERMISSION_DENIED;
}

static const struct blobmsg_policy echo_policy[] = {
	{ .name = "message", .type = BLOBMSG_TYPE_STRING },
};

static const struct ubus_method methods[] = {
	UBUS_METHOD("echo", echo_method, echo_policy),
	UBUS_METHOD_NOARG("deny", deny_method),
};

static struct ubus_object_type object_type = UBUS_OBJECT_TYPE("bus_client", methods);

struct named_object {
	struct ubus_object obj;
	char name[64];
};

static struct named_object objects[MAX_OBJECTS];
static struct ubus_subscriber subscriber;
static bool subscriber_registered;

static void subscribers_changed(struct ubus_context *c, struct ubus_object *obj)
{
	(void) c;
	printf("subscribers %s %d\n", obj->name, obj->has_subscribers);
}

static int notification(struct ubus_context *c, struct ubus_object *obj,
			struct ubus_request_data *req, const char *type, struct blob_attr *msg)
{
	char *json = blobmsg_format_json(msg, true);
	(void) c; (void) obj; (void) req;
	printf("notification %s %s\n", type, json ? json : "(unreadable)");
	free(json);
	return 0;
}

static void object_removed(struct ubus_context *c, struct ubus_subscriber *s, uint32_t id)
{
	(void) c; (void) s;
	printf("removed %u\n", id);
}

static struct named_object *find_named(const char *name)
{
	for (int i = 0; i < MAX_OBJECTS; i++)
		if (objects[i].obj.name && !strcmp(objects[i].name, name))
			return &objects[i];
	return NULL;
}

static void cmd_add(const char *name)
{
	struct named_object *o = NULL;
	for (int i = 0; i < MAX_OBJECTS && !o; i++)
		if (!objects[i].obj.name)
			o = &objects[i];
	if (!o) {
		printf("add %s full\n", name);
		return;
	}
	memset(o, 0, sizeof(*o));
	snprintf(o->name, sizeof(o->name), "%s", name);
	o->obj.name = o->name;
	o->obj.type = &object_type;
	o->obj.methods = methods;
	o->obj.n_methods = ARRAY_SIZE(methods);
	o->obj.subscribe_cb = subscribers_changed;
	int ret = ubus_add_object(ctx, &o->obj);
	printf("add %s %d %u\n", name, ret, o->obj.id);
	if (ret)
		o->obj.name = NULL;
}

static void cmd_remove(const char *name)
{
	struct named_object *o = find_named(name);
	int ret = o ? ubus_remove_object(ctx, &o->obj) : -1;
	if (o)
		o->obj.name = NULL;
	printf("remove %s %d\n", name, ret);
}

static void build_status(const char *text)
{
	blob_buf_init(&buf, 0);
	blobmsg_add_string(&buf, "msg_type", "status");
	void *data = blobmsg_open_table(&buf, "data");
	void *log = blobmsg_open_table(&buf, "log");
	blobmsg_add_u64(&buf, "timestamp", 1234567);
	blobmsg_add_string(&buf, "message", text);
	blobmsg_close_table(&buf, log);
	blobmsg_close_table(&buf, data);
}

static void cmd_notify(char *args)
{
	char *name = strtok(args, " ");
	char *type = strtok(NULL, " ");
	char *timeout = strtok(NULL, " ");
	char *text = strtok(NULL, "");
	struct named_object *o = name ? find_named(name) : NULL;
	if (!o || !type || !timeout) {
		printf("notify bad arguments\n");
		return;
	}
	build_status(text ? text : "");
	printf("notify %d\n", ubus_notify(ctx, &o->obj, type, buf.head, atoi(timeout)));
}

static void cmd_flood(const char *name, int count, int size)
{
	struct named_object *o = find_named(name);
	char *pad = malloc(size + 1);
	int ret = o && pad ? 0 : -1;
	int sent = 0;
	if (pad) {
		memset(pad, 'x', size);
		pad[size] = 0;
	}
	for (; !ret && sent < count; sent++) {
		blob_buf_init(&buf, 0);
		blobmsg_add_u32(&buf, "seq", sent);
		blobmsg_add_string(&buf, "pad", pad);
		ret = ubus_notify(ctx, &o->obj, "flood", buf.head, -1);
	}
	free(pad);
	printf("flood %d %d\n", ret, sent);
}

static void cmd_subscribe(const char *path, bool on)
{
	uint32_t id = 0;
	int ret = 0;
	if (!subscriber_registered) {
		subscriber.cb = notification;
		subscriber.remove_cb = object_removed;
		ret = ubus_register_subscriber(ctx, &subscriber);
		subscriber_registered = !ret;
	}
	if (!ret)
		ret = ubus_lookup_id(ctx, path, &id);
	if (!ret)
		ret = on ? ubus_subscribe(ctx, &subscriber, id) : ubus_unsubscribe(ctx, &subscriber, id);
	printf("%s %s %d %u\n", on ? "subscribe" : "unsubscribe", path, ret, id);
}

static void run_command(char *line)
{
	char *cmd = strtok(line, " ");
	char *rest = strtok(NULL, "");
	char *arg = rest ? rest : (char *) "";
	uint32_t id = 0;

	if (!cmd)
		return;
	if (!strcmp(cmd, "add")) {
		cmd_add(arg);
	} else if (!strcmp(cmd, "remove")) {
		cmd_remove(arg);
	} else if (!strcmp(cmd, "notify")) {
		cmd_notify(arg);
	} else if (!strcmp(cmd, "flood")) {
		char name[64];
		int count, size;
		if (sscanf(arg, "%63s %d %d", name, &count, &size) == 3)
			cmd_flood(name, count, size);
	} else if (!strcmp(cmd, "subscribe") || !strcmp(cmd, "unsubscribe")) {
		cmd_subscribe(arg, cmd[0] == 's');
	} else if (!strcmp(cmd, "lookup")) {
		int ret = ubus_lookup_id(ctx, arg, &id);
		printf("lookup %s %d %u\n", arg, ret, id);
	} else if (!strcmp(cmd, "state")) {
		printf("state registered=%d\n", ctx->sock.registered);
	} else if (!strcmp(cmd, "quit")) {
		uloop_end();
	} else {
		printf("unknown %s\n", cmd);
	}
}

static void stdin_cb(struct uloop_fd *fd, unsigned int events)
{
	static char line[4096];
	static size_t len;
	(void) events;

	ssize_t n = read(fd->fd, line + len, sizeof(line) - 1 - len);
	if (n < 0 && errno == EAGAIN)
		return;
	if (n <= 0) {
		uloop_end();
		return;
	}
	len += n;
	char *nl;
	while ((nl = memchr(line, '\n', len))) {
		*nl = 0;
		run_command(line);
		len -= nl + 1 - line;
		memmove(line, nl + 1, len);
	}
}

int main(int argc, char **argv)
{
	static struct uloop_fd input = { .cb = stdin_cb, .fd = 0 };
	const char *path = argc == 3 && !strcmp(argv[1], "-s") ? argv[2] : NULL;

	setvbuf(stdout, NULL, _IOLBF, 0);
	uloop_init();
	ctx = ubus_connect(path);
	if (!ctx) {
		printf("connect failed\n");
		return 1;
	}
	ubus_add_uloop(ctx);
	uloop_fd_add(&input, ULOOP_READ);
	printf("connected\n");

	uloop_run();

	for (int i = 0; i < MAX_OBJECTS; i++)
		if (objects[i].obj.name)
			ubus_remove_object(ctx, &objects[i].obj);
	if (subscriber_registered)
		ubus_unregister_subscriber(ctx, &subscriber);
	ubus_free(ctx);
	blob_buf_free(&buf);
	uloop_done();
	return 0;
}
