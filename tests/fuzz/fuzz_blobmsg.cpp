// blob and blobmsg messages as a bus client receives them: the input is
// one message, its root attribute first, in a heap block of exactly its
// size. It is split by id (blob_parse_untrusted) and its members looked up
// by name (blobmsg_parse) as they arrive; once it passes the library's own
// checks, every member is read by its type, tables and arrays are walked,
// and the message is formatted as JSON in each form the client prints.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" {
#include <libubox/blobmsg.h>
#include <libubox/blobmsg_json.h>
}

// Members are read up to this depth; the JSON formatter has its own bound.
constexpr int WALK_DEPTH = 64;

static void read_value(struct blob_attr *attr)
{
	volatile uint64_t sink = 0;

	switch (blobmsg_type(attr)) {
	case BLOBMSG_TYPE_STRING:
		sink = strlen(blobmsg_get_string(attr));
		break;
	case BLOBMSG_TYPE_INT64:
	case BLOBMSG_TYPE_INT32:
	case BLOBMSG_TYPE_INT16:
	case BLOBMSG_TYPE_INT8:
		sink = blobmsg_cast_u64(attr) + (uint64_t) blobmsg_cast_s64(attr);
		break;
	case BLOBMSG_TYPE_DOUBLE:
		sink = (uint64_t) (blobmsg_get_double(attr) != 0.0);
		break;
	default:
		break;
	}
	(void) sink;
}

// Every member that passes blobmsg_check_attr_len, as callers check them,
// down through tables and arrays.
static void walk(struct blob_attr *first, size_t len, int depth)
{
	struct blob_attr *cur;
	size_t rem = len;

	__blob_for_each_attr(cur, first, rem) {
		if (!blobmsg_check_attr_len(cur, false, rem))
			continue;
		(void) strlen(blobmsg_name(cur));
		read_value(cur);
		if (blobmsg_type(cur) != BLOBMSG_TYPE_TABLE && blobmsg_type(cur) != BLOBMSG_TYPE_ARRAY)
			continue;
		blobmsg_check_array(cur, BLOBMSG_TYPE_UNSPEC);
		blobmsg_check_attr_list(cur, BLOBMSG_TYPE_STRING);
		if (depth + 1 < WALK_DEPTH)
			walk((struct blob_attr *) blobmsg_data(cur), blobmsg_data_len(cur), depth + 1);
	}
}

static void format(struct blob_attr *attr, bool list, int indent)
{
	free(blobmsg_format_json_indent(attr, list, indent));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	enum { A_PATH, A_ID, A_DATA, A_FLAG, A_LIST, A_ANY, FIELDS };
	static const struct blobmsg_policy policy[FIELDS] = {
		{ "path", BLOBMSG_TYPE_STRING },
		{ "id", BLOBMSG_TYPE_INT32 },
		{ "data", BLOBMSG_TYPE_TABLE },
		{ "flag", BLOBMSG_TYPE_BOOL },
		{ "list", BLOBMSG_TYPE_ARRAY },
		{ "any", BLOBMSG_TYPE_UNSPEC },
	};
	// Each id checked as the blob type of its number, strings with bounds.
	static const struct blob_attr_info info[BLOB_ATTR_LAST] = {
		{ BLOB_ATTR_UNSPEC, 0, 0, nullptr },
		{ BLOB_ATTR_NESTED, 0, 0, nullptr },
		{ BLOB_ATTR_BINARY, 0, 0, nullptr },
		{ BLOB_ATTR_STRING, 1, 64, nullptr },
		{ BLOB_ATTR_INT8, 0, 0, nullptr },
		{ BLOB_ATTR_INT16, 0, 0, nullptr },
		{ BLOB_ATTR_INT32, 0, 0, nullptr },
		{ BLOB_ATTR_INT64, 0, 0, nullptr },
		{ BLOB_ATTR_DOUBLE, 0, 0, nullptr },
	};
	struct blob_attr *tb[BLOB_ATTR_LAST];
	static_assert(FIELDS <= BLOB_ATTR_LAST, "one table serves both");

	if (size < sizeof(struct blob_attr))
		return -1;
	std::unique_ptr<uint8_t[]> copy(new uint8_t[size]);
	memcpy(copy.get(), data, size);
	auto *msg = reinterpret_cast<struct blob_attr *>(copy.get());

	// As received: the whole input as the members of an event...
	blobmsg_parse(policy, FIELDS, tb, copy.get(), size);
	blobmsg_parse_array(policy, FIELDS, tb, copy.get(), size);
	// ... and as one attribute, split by id.
	blob_parse_untrusted(msg, size, tb, info, BLOB_ATTR_LAST);

	if (!blobmsg_check_attr_len(msg, false, size))
		return 0;
	blobmsg_parse(policy, FIELDS, tb, blob_data(msg), blob_len(msg));
	for (int i = 0; i < FIELDS; i++) {
		if (tb[i])
			read_value(tb[i]);
	}
	if (tb[A_DATA])
		blobmsg_parse(policy, FIELDS, tb, blobmsg_data(tb[A_DATA]), blobmsg_len(tb[A_DATA]));
	if (tb[A_LIST])
		blobmsg_parse_array(policy, FIELDS, tb, blobmsg_data(tb[A_LIST]), blobmsg_len(tb[A_LIST]));
	walk((struct blob_attr *) blob_data(msg), blob_len(msg), 0);

	format(msg, true, -1);
	format(msg, true, 0);
	format(msg, false, -1);
	free(blobmsg_format_json_value(msg));
	return 0;
}
