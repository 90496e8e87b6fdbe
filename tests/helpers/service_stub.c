/*
 * service-stub - the bus object "service" that confwatch watches, small
 * enough for the device: plain C on libubus, no C++ runtime. It registers
 * "service", then reads commands from standard input, one a line:
 *
 *   notify TYPE   notifies the subscribers with TYPE and an empty message,
 *                 waiting up to 2 s for their replies
 *   remove        takes the object off the bus
 *   add           puts it back; the bus gives it a new id
 *
 * Standard output tells what happened, one line an event, as it happens:
 * "added", "removed", "subscribers <0|1>", "notified <TYPE> <status>",
 * "lost the bus". Other lines, and what the bus refuses, are told on
 * standard error and skipped. It ends with status 0 at the end of its
 * input or when it loses the bus, 1 when it cannot register at first.
 */
#include <stdbool.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <libubox/blobmsg.h>
#include <libubox/uloop.h>
#include <libubus.h>

#define NOTIFY_REPLY_MS 2000
#define LINE_MAX_BYTES 256

static struct ubus_context *bus;
static struct ubus_object_type service_type = { .name = "service" };
static struct ubus_object service_object = { .name = "service", .type = &service_type };
static struct blob_buf body;
static struct uloop_fd input;
static char line[LINE_MAX_BYTES];
static size_t line_length;

static void subscribe_cb(struct ubus_context *ctx, struct ubus_object *obj)
{
	(void)ctx;
	printf("subscribers %d\n", obj->has_subscribers ? 1 : 0);
}

// libubus's own handler ends the loop only while the socket is still in it,
// and the loop drops a socket that hung up before this is called.
static void connection_lost_cb(struct ubus_context *ctx)
{
	(void)ctx;
	puts("lost the bus");
	uloop_end();
}

static bool add_service(void)
{
	int err = ubus_add_object(bus, &service_object);

	if (err) {
		fprintf(stderr, "service-stub: cannot add the object: %s\n", ubus_strerror(err));
		return false;
	}
	puts("added");
	return true;
}

static void run_command(char *command)
{
	static const char notify[] = "notify ";
	const char *type = command + strlen(notify);

	if (!strncmp(command, notify, strlen(notify)) && *type) {
		blob_buf_init(&body, 0);
		printf("notified %s %d\n", type,
		       ubus_notify(bus, &service_object, type, body.head, NOTIFY_REPLY_MS));
	} else if (!strcmp(command, "remove")) {
		int err = ubus_remove_object(bus, &service_object);

		if (err)
			fprintf(stderr, "service-stub: cannot remove the object: %s\n",
				ubus_strerror(err));
		else
			puts("removed");
	} else if (!strcmp(command, "add")) {
		add_service();
	} else {
		fprintf(stderr, "service-stub: unknown command: %s\n", command);
	}
}

// Splits what was read into lines; a line too long for the buffer is cut.
static void take_input(const char *data, size_t length)
{
	for (size_t i = 0; i < length; i++) {
		if (data[i] != '\n') {
			if (line_length < sizeof(line) - 1)
				line[line_length++] = data[i];
			continue;
		}
		line[line_length] = '\0';
		line_length = 0;
		run_command(line);
	}
}

static void input_cb(struct uloop_fd *fd, unsigned int events)
{
	char data[512];
	ssize_t length = read(fd->fd, data, sizeof(data));

	(void)events;
	if (length > 0) {
		take_input(data, (size_t)length);
		return;
	}
	uloop_fd_delete(fd);
	uloop_end();
}

int main(void)
{
	setvbuf(stdout, NULL, _IOLBF, 0);
	uloop_init();
	bus = ubus_connect(NULL);
	if (!bus) {
		fputs("service-stub: cannot connect to ubus\n", stderr);
		return 1;
	}
	ubus_add_uloop(bus);
	bus->connection_lost = connection_lost_cb;
	service_object.subscribe_cb = subscribe_cb;
	if (!add_service())
		return 1;

	input.fd = STDIN_FILENO;
	input.cb = input_cb;
	uloop_fd_add(&input, ULOOP_READ);
	uloop_run();

	ubus_free(bus);
	uloop_done();
	blob_buf_free(&body);
	return 0;
}
