#include "telemetry_frame.h"

#include <stdio.h>

#include "daemon_stop.h"

static const struct telemetry_daemon *daemon_info;

static struct ubus_context *bus;
static struct ubus_object_type object_type;
static struct ubus_object telemetry_object;

static struct blob_buf buffer;
static void *data_cookie;
static void *section_cookie;

void telemetry_frame_init(const struct telemetry_daemon *info)
{
	daemon_info = info;
}

bool telemetry_loop_init(void)
{
	if (daemon_stop_init_loop(daemon_info->stop_message))
		return true;
	fputs(daemon_info->loop_failed_message, stderr);
	return false;
}

bool telemetry_bus_connect(void)
{
	bus = ubus_connect(NULL);
	if (!bus) {
		fputs(daemon_info->connect_failed_message, stderr);
		return false;
	}
	ubus_add_uloop(bus);
	daemon_stop_watch_bus(bus, daemon_info->bus_lost_message);
	return true;
}

static void subscribers_changed_cb(struct ubus_context *, struct ubus_object *obj)
{
	fprintf(stderr, daemon_info->subscribers_message, obj->has_subscribers ? 1 : 0);
}

int telemetry_register_object(void)
{
	// Static, so zero: id 0 and no methods (a null list of length 0).
	object_type.name = daemon_info->object_name;
	telemetry_object.name = daemon_info->object_name;
	telemetry_object.type = &object_type;
	telemetry_object.subscribe_cb = subscribers_changed_cb;

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
