// subscribe, listen and wait_for: commands that stay in the event loop
// until what they wait for happens, a signal stops them or -t runs out.
#include "commands.h"

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

extern "C" {
#include <libubox/blobmsg_json.h>
#include <libubox/uloop.h>
}

namespace {

bool timed_out;
bool connection_lost;

void end_on_lost_connection(ubus_context *ctx)
{
	connection_lost = true;
	uloop_fd_delete(&ctx->sock);
	uloop_end();
}

// The bus socket joins the loop before the first request, so that what
// arrives while requests wait is delivered once the loop runs. Without
// the broker there is nothing left to wait for.
void join_loop(ubus_context *ctx)
{
	uloop_init();
	ubus_add_uloop(ctx);
	ctx->connection_lost = end_on_lost_connection;
}

// The result of a command that ran the loop until it was stopped.
int loop_result()
{
	return connection_lost ? UBUS_STATUS_CONNECTION_FAILED : 0;
}

void end_loop(uloop_timeout *)
{
	timed_out = true;
	uloop_end();
}

// Runs the loop, for at most seconds when that is positive. A connection
// lost during the requests before ends it at once (running the loop
// clears its stop flag).
void run_loop(int seconds)
{
	if (connection_lost)
		return;
	uloop_timeout limit{};
	limit.cb = end_loop;
	if (seconds > 0)
		uloop_timeout_set(&limit, seconds * 1000);
	uloop_run();
	uloop_timeout_cancel(&limit);
}

// One line per message, { "<type>": <message> }, out at once for readers
// at the other end of a pipe.
void print_line(const char *type, blob_attr *msg)
{
	char *text = blobmsg_format_json(msg, true);
	printf("{ \"%s\": %s }\n", type, text ? text : "{}");
	fflush(stdout);
	free(text);
}

int print_notification(ubus_context *, ubus_object *, ubus_request_data *,
		       const char *type, blob_attr *msg)
{
	print_line(type, msg);
	return 0;
}

void print_event(ubus_context *, ubus_event_handler *, const char *type, blob_attr *msg)
{
	print_line(type, msg);
}

}  // namespace

int cmd_subscribe(ubus_context *ctx, const Options &opt, int argc, char **argv)
{
	if (argc < 1)
		return kUsage;
	join_loop(ctx);
	static ubus_subscriber sub;
	sub.cb = print_notification;
	int ret = ubus_register_subscriber(ctx, &sub);
	for (int i = 0; !ret && i < argc; i++) {
		uint32_t id;
		ret = ubus_lookup_id(ctx, argv[i], &id);
		if (!ret)
			ret = ubus_subscribe(ctx, &sub, id);
	}
	if (ret)
		return ret;
	run_loop(opt.listen_timeout);
	return loop_result();
}

int cmd_listen(ubus_context *ctx, const Options &opt, int argc, char **argv)
{
	join_loop(ctx);
	static ubus_event_handler listener;
	listener.cb = print_event;
	int ret = argc ? 0 : ubus_register_event_handler(ctx, &listener, "*");
	for (int i = 0; !ret && i < argc; i++)
		ret = ubus_register_event_handler(ctx, &listener, argv[i]);
	if (ret)
		return ret;
	run_loop(opt.listen_timeout);
	return loop_result();
}

namespace {

std::set<std::string> missing_objects;

void object_added(ubus_context *, ubus_event_handler *, const char *, blob_attr *msg)
{
	static const blobmsg_policy path_policy = { "path", BLOBMSG_TYPE_STRING };
	blob_attr *path = nullptr;
	blobmsg_parse(&path_policy, 1, &path, blob_data(msg), blob_len(msg));
	if (path)
		missing_objects.erase(blobmsg_get_string(path));
	if (missing_objects.empty())
		uloop_end();
}

}  // namespace

int cmd_wait_for(ubus_context *ctx, const Options &opt, int argc, char **argv)
{
	if (argc < 1)
		return kUsage;
	// Listen first, then look: an object that comes in between is not missed.
	join_loop(ctx);
	static ubus_event_handler added;
	added.cb = object_added;
	int ret = ubus_register_event_handler(ctx, &added, "ubus.object.add");
	if (ret)
		return ret;
	for (int i = 0; i < argc; i++) {
		uint32_t id;
		if (ubus_lookup_id(ctx, argv[i], &id))
			missing_objects.insert(argv[i]);
	}
	if (missing_objects.empty())
		return 0;
	run_loop(opt.timeout);
	if (missing_objects.empty())
		return 0;
	if (timed_out)
		return UBUS_STATUS_TIMEOUT;
	return connection_lost ? UBUS_STATUS_CONNECTION_FAILED : UBUS_STATUS_NOT_FOUND;
}
