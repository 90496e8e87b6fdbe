// list, call and send: one request each, answered at once.
#include "commands.h"

#include <cstdio>
#include <cstdlib>

extern "C" {
#include <libubox/blobmsg_json.h>
}

#include "json_message.h"

namespace {

// A blob_buf freed on every way out.
struct Message {
	blob_buf buf{};
	~Message() { blob_buf_free(&buf); }
};

// Reads the optional JSON argument; reports a bad one itself.
bool parse_message(const Options &opt, const char *text, Message &msg)
{
	if (json_to_blobmsg(text ? text : "{}", &msg.buf))
		return true;
	if (!opt.simple)
		fprintf(stderr, "Failed to parse message data\n");
	return false;
}

void print_json(blob_attr *attr, bool list, int indent)
{
	char *text = blobmsg_format_json_indent(attr, list, indent);
	if (!text)
		return;
	printf("%s\n", text);
	free(text);
}

// Argument types of a method signature, as people read them.
const char *argument_type(void *, blob_attr *attr)
{
	if (blobmsg_type(attr) != BLOBMSG_TYPE_INT32)
		return nullptr;
	switch (blobmsg_get_u32(attr)) {
	case BLOBMSG_TYPE_ARRAY: return "\"Array\"";
	case BLOBMSG_TYPE_TABLE: return "\"Table\"";
	case BLOBMSG_TYPE_STRING: return "\"String\"";
	case BLOBMSG_TYPE_INT64:
	case BLOBMSG_TYPE_INT32:
	case BLOBMSG_TYPE_INT16: return "\"Integer\"";
	case BLOBMSG_TYPE_INT8: return "\"Boolean\"";
	case BLOBMSG_TYPE_DOUBLE: return "\"Double\"";
	default: return "\"(unknown)\"";
	}
}

void print_object(ubus_context *, ubus_object_data *obj, void *priv)
{
	const Options &opt = *static_cast<const Options *>(priv);
	if (!opt.verbose) {
		printf("%s\n", obj->path);
		return;
	}
	printf("'%s' @%08x\n", obj->path, obj->id);
	if (!obj->signature)
		return;
	blob_attr *method;
	size_t rem;
	blob_for_each_attr(method, obj->signature, rem) {
		char *text = blobmsg_format_json_with_cb(method, false, argument_type, nullptr, -1);
		if (text)
			printf("\t%s\n", text);
		free(text);
	}
}

void print_reply(ubus_request *req, int, blob_attr *msg)
{
	const Options &opt = *static_cast<const Options *>(req->priv);
	print_json(msg, true, opt.simple ? -1 : 0);
}

}  // namespace

int cmd_list(ubus_context *ctx, const Options &opt, int argc, char **argv)
{
	if (argc > 1)
		return kUsage;
	return ubus_lookup(ctx, argc ? argv[0] : nullptr, print_object, const_cast<Options *>(&opt));
}

int cmd_call(ubus_context *ctx, const Options &opt, int argc, char **argv)
{
	if (argc < 2 || argc > 3)
		return kUsage;
	Message msg;
	if (!parse_message(opt, argc == 3 ? argv[2] : nullptr, msg))
		return -1;
	uint32_t id;
	int ret = ubus_lookup_id(ctx, argv[0], &id);
	if (ret)
		return ret;
	return ubus_invoke(ctx, id, argv[1], msg.buf.head, print_reply,
			   const_cast<Options *>(&opt), opt.timeout * 1000);
}

int cmd_send(ubus_context *ctx, const Options &opt, int argc, char **argv)
{
	if (argc < 1 || argc > 2)
		return kUsage;
	Message msg;
	if (!parse_message(opt, argc == 2 ? argv[1] : nullptr, msg))
		return -1;
	return ubus_send_event(ctx, argv[0], msg.buf.head);
}
