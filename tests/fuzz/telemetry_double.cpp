// The telemetry frame's notification calls without a bus: the message is
// built in the one blob buffer as the frame builds it, and "sending" it
// checks that it is a well-formed status notification, so a fault in
// building one stops the run.
#include <cstdlib>
#include <cstring>

#include "telemetry_frame.h"

extern "C" {
#include <libubox/blobmsg_json.h>
}

static const char *section_name;
static struct blob_buf buffer;
static void *data_cookie;
static void *section_cookie;

void fuzz_telemetry_section(const char *section)
{
	section_name = section;
}

struct blob_buf *telemetry_status_begin(void)
{
	blob_buf_init(&buffer, 0);
	blobmsg_add_string(&buffer, "msg_type", "status");
	data_cookie = blobmsg_open_table(&buffer, "data");
	section_cookie = blobmsg_open_table(&buffer, section_name);
	return &buffer;
}

void telemetry_status_end(void)
{
	blobmsg_close_table(&buffer, section_cookie);
	blobmsg_close_table(&buffer, data_cookie);
}

bool telemetry_has_subscribers(void)
{
	return true;
}

// "msg_type" = "status", then "data" holding one table, the section.
int telemetry_status_notify(void)
{
	enum { MSG_TYPE, DATA, FIELDS };
	static const struct blobmsg_policy status_policy[FIELDS] = {
		{ "msg_type", BLOBMSG_TYPE_STRING },
		{ "data", BLOBMSG_TYPE_TABLE },
	};
	const struct blobmsg_policy section_policy = { section_name, BLOBMSG_TYPE_TABLE };
	struct blob_attr *tb[FIELDS];
	struct blob_attr *section;

	if (blobmsg_parse(status_policy, FIELDS, tb, blob_data(buffer.head), blob_len(buffer.head)) ||
	    !tb[MSG_TYPE] || !tb[DATA] || strcmp(blobmsg_get_string(tb[MSG_TYPE]), "status") ||
	    blobmsg_check_array(tb[DATA], BLOBMSG_TYPE_TABLE) != 1)
		abort();
	blobmsg_parse(&section_policy, 1, &section, blobmsg_data(tb[DATA]), blobmsg_len(tb[DATA]));
	if (!section || blobmsg_check_array(section, BLOBMSG_TYPE_UNSPEC) < 1)
		abort();

	char *json = blobmsg_format_json(buffer.head, true);
	if (!json)
		abort();
	free(json);
	return 0;
}
