#include "telemetry_frame.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include "signal_text.h"

static const struct telemetry_daemon *daemon_info;

static struct ubus_context *bus;
static const struct ubus_method no_methods[1] = {};
static struct ubus_object_type object_type;
static struct ubus_object telemetry_object;

static struct blob_buf buffer;
static void *data_cookie;
static void *section_cookie;

static volatile sig_atomic_t stop_seen;
static struct uloop_timeout stop_recheck;

void telemetry_frame_init(const struct telemetry_daemon *info)
{
	daemon_info = info;
}

static void write_all(int fd, const char *text, size_t len)
{
	while (len > 0) {
		ssize_t n = write(fd, text, len);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return;
		text += n;
		len -= (size_t)n;
	}
}

// Runs asynchronously to the loop: only write(2) and plain stores here.
static void stop_signal_handler(int signo)
{
	if (signo != SIGINT && signo != SIGTERM)
		return;

	int saved_errno = errno;
	char text[160];
	size_t len = format_signal_text(text, sizeof(text), daemon_info->stop_message, signo);

	write_all(STDERR_FILENO, text, len);
	stop_seen = 1;
	uloop_cancelled = true;
	errno = saved_errno;
}

void telemetry_install_stop_handler(void)
{
	signal(SIGINT, stop_signal_handler);
	signal(SIGTERM, stop_signal_handler);
}

bool telemetry_stop_requested(void)
{
	return stop_seen != 0;
}

bool telemetry_bus_connect(void)
{
	bus = ubus_connect(NULL);
	if (!bus) {
		fputs(daemon_info->connect_failed_message, stderr);
		return false;
	}
	ubus_add_uloop(bus);
	return true;
}

static void subscribers_changed(struct ubus_context *, struct ubus_object *obj)
{
	fprintf(stderr, daemon_info->subscribers_message, obj->has_subscribers ? 1 : 0);
}

int telemetry_register_object(void)
{
	object_type.name = daemon_info->object_name;
	object_type.id = 0;
	object_type.methods = no_methods;
	object_type.n_methods = 0;

	telemetry_object.name = daemon_info->object_name;
	telemetry_object.type = &object_type;
	telemetry_object.subscribe_cb = subscribers_changed;
	telemetry_object.methods = no_methods;
	telemetry_object.n_methods = 0;

	int ret = ubus_add_object(bus, &telemetry_object);
	if (ret)
		fprintf(stderr, daemon_info->register_failed_message, ubus_strerror(ret));
	return ret;
}

void telemetry_buffer_init(void)
{
	blob_buf_init(&buffer, 0);
}

bool telemetry_has_subscribers(void)
{
	return telemetry_object.has_subscribers;
}

// uloop_run_timeout() clears uloop_cancelled as it starts, so a signal
// that lands between our check and that point would be forgotten. The
// loop handles expired timers before anything else: this one, due at
// once, restores the stop from our own flag on the first pass.
static void restore_stop(struct uloop_timeout *)
{
	if (stop_seen)
		uloop_cancelled = true;
}

void telemetry_run(void)
{
	if (stop_seen)
		return;
	stop_recheck.cb = restore_stop;
	uloop_timeout_set(&stop_recheck, 0);
	uloop_run_timeout(-1);
	uloop_timeout_cancel(&stop_recheck);
}

void telemetry_bus_free(void)
{
	ubus_free(bus);
	bus = NULL;
}

void telemetry_close(void)
{
	ubus_remove_object(bus, &telemetry_object);
	telemetry_bus_free();
	blob_buf_free(&buffer);
}

struct blob_buf *telemetry_status_begin(void)
{
	blob_buf_init(&buffer, 0);
	blobmsg_add_string(&buffer, "msg_type", "status");
	data_cookie = blobmsg_open_nested(&buffer, "data", false);
	section_cookie = blobmsg_open_nested(&buffer, daemon_info->section, false);
	return &buffer;
}

void telemetry_status_end(void)
{
	blob_nest_end(&buffer, section_cookie);
	blob_nest_end(&buffer, data_cookie);
}

int telemetry_status_notify(void)
{
	return ubus_notify(bus, &telemetry_object, daemon_info->notification_type, buffer.head, -1);
}
