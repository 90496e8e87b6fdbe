/*
 * fake-service: stands in for the bus object "service" that confwatch
 * watches. It registers "service" at start, then runs commands, given as
 * arguments or, without arguments, read line by line from standard input:
 *
 *   notify TYPE   notify the subscribers with TYPE, waiting for their replies
 *   remove        take the object off the bus
 *   add           put it back (the bus gives it a new id)
 *   wait MS       pause before the next command
 *   exit          leave (so does the end of the input)
 *
 * Standard output tells what happened, one line per event, as soon as it
 * happens: "added <id>", "removed", "notified <type> <status>",
 * "subscribers <0|1>". Failures go to standard error and end it with 1.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <deque>
#include <string>

extern "C" {
#include <libubox/blobmsg.h>
#include <libubox/uloop.h>
}
#include <libubus.h>

enum { notify_reply_ms = 2000 };

static struct ubus_context *ctx;
static struct ubus_object_type service_type;
static struct ubus_object service_object;
static struct blob_buf body;

static std::deque<std::string> commands;
static bool input_done;
static bool waiting;
static struct uloop_timeout wait_timer;
static struct uloop_fd input_fd;
static std::string input_partial;
static int exit_status;

static void fail(const char *what, int err)
{
	fprintf(stderr, "fake-service: %s: %s\n", what, ubus_strerror(err));
	exit_status = 1;
	uloop_end();
}

static void subscribe_cb(struct ubus_context *, struct ubus_object *obj)
{
	printf("subscribers %d\n", obj->has_subscribers ? 1 : 0);
}

static bool add_object(void)
{
	int err = ubus_add_object(ctx, &service_object);
	if (err) {
		fail("add", err);
		return false;
	}
	printf("added %08x\n", service_object.id);
	return true;
}

static bool run_command(const std::string &line)
{
	char verb[32] = "", arg[256] = "";
	if (sscanf(line.c_str(), "%31s %255s", verb, arg) < 1)
		return true;

	if (!strcmp(verb, "notify") && arg[0]) {
		blob_buf_init(&body, 0);
		int err = ubus_notify(ctx, &service_object, arg, body.head, notify_reply_ms);
		printf("notified %s %d\n", arg, err);
	} else if (!strcmp(verb, "remove")) {
		int err = ubus_remove_object(ctx, &service_object);
		if (err) {
			fail("remove", err);
			return false;
		}
		puts("removed");
	} else if (!strcmp(verb, "add")) {
		return add_object();
	} else if (!strcmp(verb, "wait") && arg[0]) {
		waiting = true;
		uloop_timeout_set(&wait_timer, atoi(arg));
	} else if (!strcmp(verb, "exit")) {
		commands.clear();
		input_done = true;
	} else {
		fprintf(stderr, "fake-service: unknown command: %s\n", line.c_str());
		exit_status = 1;
		uloop_end();
		return false;
	}
	return true;
}

static bool finished(void)
{
	return exit_status || (input_done && commands.empty() && !waiting);
}

static void run_commands(void)
{
	while (!waiting && !commands.empty()) {
		std::string line = commands.front();
		commands.pop_front();
		if (!run_command(line))
			break;
	}
	if (finished())
		uloop_end();
}

static void wait_timer_cb(struct uloop_timeout *)
{
	waiting = false;
	run_commands();
}

static void input_cb(struct uloop_fd *fd, unsigned int)
{
	char buf[512];
	ssize_t len = read(fd->fd, buf, sizeof(buf));
	if (len < 0)
		return;
	if (len == 0) {
		uloop_fd_delete(fd);
		input_done = true;
	}
	input_partial.append(buf, len);
	size_t nl;
	while ((nl = input_partial.find('\n')) != std::string::npos) {
		commands.push_back(input_partial.substr(0, nl));
		input_partial.erase(0, nl + 1);
	}
	if (input_done && !input_partial.empty())
		commands.push_back(input_partial);
	run_commands();
}

int main(int argc, char **argv)
{
	setvbuf(stdout, NULL, _IOLBF, 0);
	uloop_init();

	ctx = ubus_connect(NULL);
	if (!ctx) {
		fputs("fake-service: cannot connect to ubus\n", stderr);
		return 1;
	}
	ubus_add_uloop(ctx);

	service_type.name = "service";
	service_object.name = "service";
	service_object.type = &service_type;
	service_object.subscribe_cb = subscribe_cb;
	wait_timer.cb = wait_timer_cb;

	if (add_object()) {
		if (argc > 1) {
			commands.assign(argv + 1, argv + argc);
			input_done = true;
			run_commands();
		} else {
			input_fd.fd = STDIN_FILENO;
			input_fd.cb = input_cb;
			uloop_fd_add(&input_fd, ULOOP_READ);
		}
		if (!finished())
			uloop_run();
	}

	ubus_free(ctx);
	uloop_done();
	blob_buf_free(&body);
	return exit_status;
}
