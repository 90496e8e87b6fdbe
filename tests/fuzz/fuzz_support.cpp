// fuzz_support: see fuzz_support.h.
#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <uci.h>

extern "C" {
#include <libubox/blobmsg.h>
}

static std::string config_dir;

static void remove_config_dir()
{
	std::error_code ignored;
	std::filesystem::remove_all(config_dir, ignored);
}

std::string fuzz_config_dir(const char *const files[][2], int count)
{
	char folder[] = "/tmp/apsuite-fuzz-XXXXXX";
	if (!mkdtemp(folder))
		abort();
	config_dir = folder;
	atexit(remove_config_dir);
	for (int i = 0; i < count; i++)
		std::ofstream(config_dir + "/" + files[i][0]) << files[i][1];
	return config_dir;
}

// The readers allocate their own contexts with the default directory;
// the targets are linked with --wrap=uci_alloc_context, so those
// allocations land here and read the run's folder instead.
extern "C" struct uci_context *__real_uci_alloc_context(void);

extern "C" struct uci_context *__wrap_uci_alloc_context(void)
{
	struct uci_context *ctx = __real_uci_alloc_context();

	if (ctx && !config_dir.empty() && uci_set_confdir(ctx, config_dir.c_str()) != UCI_OK) {
		uci_free_context(ctx);
		return nullptr;
	}
	return ctx;
}

void fuzz_quiet_stderr()
{
	if (getenv("APSUITE_FUZZ_OUTPUT"))
		return;
	// Only the stdio stream: descriptor 2 stays for the reports.
	FILE *null = fopen("/dev/null", "w");
	if (null)
		stderr = null;
}

// The frame's calls into the bus library that need a broker; the targets
// are linked with --wrap for each.
static const struct telemetry_daemon *telemetry_daemon;
static struct ubus_object *telemetry_object;

extern "C" int __wrap_ubus_add_object(struct ubus_context *, struct ubus_object *obj)
{
	telemetry_object = obj;
	obj->id = 1;
	obj->has_subscribers = true;
	return 0;
}

// "msg_type" = "status", then "data" holding one table, the section.
static void check_status_message(struct blob_attr *msg)
{
	enum { MSG_TYPE, DATA, FIELDS };
	static const struct blobmsg_policy status_policy[FIELDS] = {
		{ "msg_type", BLOBMSG_TYPE_STRING },
		{ "data", BLOBMSG_TYPE_TABLE },
	};
	const struct blobmsg_policy section_policy = { telemetry_daemon->section,
						       BLOBMSG_TYPE_TABLE };
	struct blob_attr *tb[FIELDS];
	struct blob_attr *section;

	if (blobmsg_parse(status_policy, FIELDS, tb, blob_data(msg), blob_len(msg)) ||
	    !tb[MSG_TYPE] || !tb[DATA] || strcmp(blobmsg_get_string(tb[MSG_TYPE]), "status") ||
	    blobmsg_check_array(tb[DATA], BLOBMSG_TYPE_TABLE) != 1)
		abort();
	blobmsg_parse(&section_policy, 1, &section, blobmsg_data(tb[DATA]), blobmsg_len(tb[DATA]));
	// Every field checked by the library as a receiver would. Not printed
	// as JSON: the daemons never do, and the library's printer reads
	// 64-bit numbers at 4-byte alignment, which the sanitizer reports.
	if (!section || blobmsg_check_array(section, BLOBMSG_TYPE_UNSPEC) < 1)
		abort();
}

extern "C" int __wrap_ubus_notify(struct ubus_context *, struct ubus_object *obj,
				  const char *type, struct blob_attr *msg, int timeout)
{
	if (obj != telemetry_object || strcmp(type, telemetry_daemon->notification_type) ||
	    timeout != -1)
		abort();
	check_status_message(msg);
	return 0;
}

void fuzz_telemetry_start(const struct telemetry_daemon *daemon)
{
	telemetry_daemon = daemon;
	telemetry_frame_init(daemon);
	if (telemetry_register_object() != 0)
		abort();
	telemetry_buffer_init();
}
