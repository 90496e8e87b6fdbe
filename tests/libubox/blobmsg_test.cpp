// blobmsg messages: the exact bytes (and their JSON), nesting, and lookups
// through a policy.
#include "blob_buf_fixture.h"

#include <cstring>
#include <map>
#include <string>

namespace {

using Blobmsg = BlobBufTest;

// A status notification as the telemetry daemons build it.
TEST_F(Blobmsg, StatusNotificationBytesAndJson)
{
	ASSERT_EQ(blob_buf_init(&buf, 0), 0);
	blobmsg_add_string(&buf, "msg_type", "status");
	void *data = blobmsg_open_nested(&buf, "data", false);
	void *log = blobmsg_open_nested(&buf, "log", false);
	blobmsg_add_u64(&buf, "timestamp", 1234567);
	blobmsg_add_string(&buf, "message", "3|4| some text");
	blob_nest_end(&buf, log);
	blob_nest_end(&buf, data);

	EXPECT_EQ(head_hex(),
		  "00 00 00 6c 83 00 00 17 00 08 6d 73 67 5f 74 79 70 65 00 00 73 74 61 74 75 73 00 00 "
		  "82 00 00 50 00 04 64 61 74 61 00 00 82 00 00 44 00 03 6c 6f 67 00 00 00 84 00 00 18 "
		  "00 09 74 69 6d 65 73 74 61 6d 70 00 00 00 00 00 00 12 d6 87 83 00 00 1f 00 07 6d 65 "
		  "73 73 61 67 65 00 00 00 33 7c 34 7c 20 73 6f 6d 65 20 74 65 78 74 00 00");
	EXPECT_EQ(json_of(buf.head, true),
		  R"({"msg_type":"status","data":{"log":{"timestamp":1234567,"message":"3|4| some text"}}})");
}

// Escapes in a string, a negative 64-bit value, an array of mixed
// scalars (whose members have empty names) and an empty table.
TEST_F(Blobmsg, MixedScalarsArrayAndEmptyTableBytesAndJson)
{
	ASSERT_EQ(blob_buf_init(&buf, 0), 0);
	blobmsg_add_string(&buf, "m", "q\"b\\s\x01/\xc3\xa9");
	blobmsg_add_u64(&buf, "n", (uint64_t) -5);
	void *arr = blobmsg_open_array(&buf, "arr");
	blobmsg_add_u32(&buf, NULL, 7);
	blobmsg_add_u8(&buf, NULL, 1);
	blobmsg_add_string(&buf, NULL, "x");
	blobmsg_close_array(&buf, arr);
	blobmsg_close_table(&buf, blobmsg_open_table(&buf, "empty"));

	EXPECT_EQ(head_hex(),
		  "00 00 00 64 83 00 00 12 00 01 6d 00 71 22 62 5c 73 01 2f c3 a9 00 00 00 84 00 00 10 "
		  "00 01 6e 00 ff ff ff ff ff ff ff fb 81 00 00 30 00 03 61 72 72 00 00 00 85 00 00 0c "
		  "00 00 00 00 00 00 00 07 87 00 00 09 00 00 00 00 01 00 00 00 83 00 00 0a 00 00 00 00 "
		  "78 00 00 00 82 00 00 0c 00 05 65 6d 70 74 79 00");
	EXPECT_EQ(json_of(buf.head, true),
		  "{\"m\":\"q\\\"b\\\\s\\u0001/\xc3\xa9\",\"n\":-5,\"arr\":[7,true,\"x\"],\"empty\":{}}");
}

TEST_F(Blobmsg, ReinitStartsAnEmptyMessageInTheSameBuffer)
{
	ASSERT_EQ(blob_buf_init(&buf, 0), 0);
	blobmsg_add_string(&buf, "a", "first message");
	ASSERT_EQ(blob_buf_init(&buf, 0), 0);
	blobmsg_add_u16(&buf, "b", 0x1234);

	EXPECT_EQ(head_hex(), "00 00 00 10 86 00 00 0a 00 01 62 00 12 34 00 00");
}

// Walks a message back into "path=value" lines, checking each nest.
static void flatten(struct blob_attr *attr, const std::string &path,
		    std::map<std::string, std::string> &out)
{
	struct blob_attr *cur;
	size_t rem;
	int index = 0;

	blobmsg_for_each_attr(cur, attr, rem) {
		std::string key = path + "/" +
			(blobmsg_type(attr) == BLOBMSG_TYPE_ARRAY ? std::to_string(index++)
								  : std::string(blobmsg_name(cur)));
		switch (blobmsg_type(cur)) {
		case BLOBMSG_TYPE_TABLE:
		case BLOBMSG_TYPE_ARRAY:
			out[key] = blobmsg_type(cur) == BLOBMSG_TYPE_TABLE ? "{}" : "[]";
			EXPECT_TRUE(blobmsg_check_attr_list(cur, BLOBMSG_TYPE_UNSPEC)) << key;
			flatten(cur, key, out);
			break;
		case BLOBMSG_TYPE_STRING:
			out[key] = blobmsg_get_string(cur);
			break;
		case BLOBMSG_TYPE_INT64:
			out[key] = std::to_string((int64_t) blobmsg_get_u64(cur));
			break;
		case BLOBMSG_TYPE_INT32:
			out[key] = std::to_string((int32_t) blobmsg_get_u32(cur));
			break;
		case BLOBMSG_TYPE_INT16:
			out[key] = std::to_string((int16_t) blobmsg_get_u16(cur));
			break;
		case BLOBMSG_TYPE_INT8:
			out[key] = blobmsg_get_bool(cur) ? "true" : "false";
			break;
		case BLOBMSG_TYPE_DOUBLE:
			out[key] = std::to_string(blobmsg_get_double(cur));
			break;
		}
	}
	// every member accounted for: nothing left over at the end
	EXPECT_EQ(rem, 0u) << path;
}

// Arrays of tables of arrays, several levels deep, with odd-length names
// and values so that padding is exercised at every level; large enough
// that the buffer is moved by realloc while nests are open.
TEST_F(Blobmsg, DeepNestingReadsBackEveryValue)
{
	std::map<std::string, std::string> expected;

	ASSERT_EQ(blob_buf_init(&buf, 0), 0);
	void *aps = blobmsg_open_array(&buf, "aps");
	expected["/aps"] = "[]";
	for (int i = 0; i < 40; i++) {
		std::string ap = "/aps/" + std::to_string(i);
		void *entry = blobmsg_open_table(&buf, NULL);
		expected[ap] = "{}";

		std::string ssid(i % 7, 'a' + i % 26);
		blobmsg_add_string(&buf, "ssid", ssid.c_str());
		expected[ap + "/ssid"] = ssid;
		blobmsg_add_u32(&buf, "freq", 2412 + i);
		expected[ap + "/freq"] = std::to_string(2412 + i);
		blobmsg_add_u16(&buf, "rssi", (uint16_t) -40 - i);
		expected[ap + "/rssi"] = std::to_string(-40 - i);
		blobmsg_add_u8(&buf, "open", i & 1);
		expected[ap + "/open"] = i & 1 ? "true" : "false";
		blobmsg_add_double(&buf, "load", i / 4.0);
		expected[ap + "/load"] = std::to_string(i / 4.0);

		void *rates = blobmsg_open_array(&buf, "rates");
		expected[ap + "/rates"] = "[]";
		for (int r = 0; r < i % 3; r++) {
			blobmsg_add_u64(&buf, NULL, (uint64_t) -r);
			expected[ap + "/rates/" + std::to_string(r)] = std::to_string(-r);
		}
		blobmsg_close_array(&buf, rates);
		blobmsg_close_table(&buf, entry);
	}
	blobmsg_close_array(&buf, aps);
	blobmsg_add_string(&buf, "after", "nests");
	expected["/after"] = "nests";

	ASSERT_GT(buf.buflen, 1024);
	EXPECT_EQ(blob_raw_len(buf.head), blob_pad_len(buf.head));

	std::map<std::string, std::string> got;
	flatten(buf.head, "", got);
	EXPECT_EQ(got, expected);
}

enum { P_NAME, P_COUNT, P_FLAG, P_LIST, P_ANY, P_WIDE, P_MISSING, __P_MAX };

// in the order of the enum above
static const struct blobmsg_policy policy[__P_MAX] = {
	{ "name", BLOBMSG_TYPE_STRING },
	{ "count", BLOBMSG_TYPE_INT32 },
	{ "flag", BLOBMSG_TYPE_BOOL },
	{ "list", BLOBMSG_TYPE_ARRAY },
	{ "any", BLOBMSG_TYPE_UNSPEC },
	{ "wide", BLOBMSG_CAST_INT64 },
	{ "missing", BLOBMSG_TYPE_STRING },
};

TEST_F(Blobmsg, ParseFindsMembersByNameAndType)
{
	struct blob_attr *tb[__P_MAX];

	blob_buf_init(&buf, 0);
	blobmsg_add_string(&buf, "name", "first");
	blobmsg_add_string(&buf, "name", "second");
	blobmsg_add_u64(&buf, "count", 5);   // wrong type: not taken
	blobmsg_add_u32(&buf, "count", 6);
	blobmsg_add_u8(&buf, "flag", 1);
	blobmsg_close_array(&buf, blobmsg_open_array(&buf, "list"));
	blobmsg_add_u16(&buf, "any", 9);
	blobmsg_add_u16(&buf, "wide", 3);
	blobmsg_add_string(&buf, "nam", "prefix of a name");
	blobmsg_add_string(&buf, "names", "longer name");

	ASSERT_EQ(blobmsg_parse(policy, __P_MAX, tb, blob_data(buf.head), blob_len(buf.head)), 0);
	ASSERT_TRUE(tb[P_NAME]);
	EXPECT_STREQ(blobmsg_get_string(tb[P_NAME]), "first");
	ASSERT_TRUE(tb[P_COUNT]);
	EXPECT_EQ(blobmsg_get_u32(tb[P_COUNT]), 6u);
	ASSERT_TRUE(tb[P_FLAG]);
	EXPECT_TRUE(blobmsg_get_bool(tb[P_FLAG]));
	ASSERT_TRUE(tb[P_LIST]);
	EXPECT_EQ(blobmsg_data_len(tb[P_LIST]), 0u);
	ASSERT_TRUE(tb[P_ANY]);
	EXPECT_EQ(blobmsg_type(tb[P_ANY]), BLOBMSG_TYPE_INT16);
	ASSERT_TRUE(tb[P_WIDE]);
	EXPECT_EQ(blobmsg_cast_s64(tb[P_WIDE]), 3);
	EXPECT_FALSE(tb[P_MISSING]);
}

TEST_F(Blobmsg, ParseOfANestedTableAndOfNothing)
{
	struct blob_attr *tb[__P_MAX];

	blob_buf_init(&buf, 0);
	void *t = blobmsg_open_table(&buf, "t");
	blobmsg_add_string(&buf, "name", "inner");
	blobmsg_close_table(&buf, t);

	struct blob_attr *table = (struct blob_attr *) blob_data(buf.head);
	ASSERT_EQ(blobmsg_parse_attr(policy, __P_MAX, tb, table), 0);
	ASSERT_TRUE(tb[P_NAME]);
	EXPECT_STREQ(blobmsg_get_string(tb[P_NAME]), "inner");

	// an empty message: every slot cleared, not left as it was
	tb[P_NAME] = table;
	EXPECT_EQ(blobmsg_parse(policy, __P_MAX, tb, NULL, 0), -EINVAL);
	EXPECT_FALSE(tb[P_NAME]);
}

// Received messages are checked before use: values that do not fit
// their type, names running off the attribute, and lengths past the end.
TEST_F(Blobmsg, MalformedAttributesAreRejected)
{
	struct blob_attr *tb[__P_MAX];
	const uint32_t two = 2;

	blob_buf_init(&buf, 0);
	blobmsg_add_field(&buf, BLOBMSG_TYPE_INT32, "count", &two, 2);
	EXPECT_EQ(blobmsg_parse(policy, __P_MAX, tb, blob_data(buf.head), blob_len(buf.head)), -1);

	blob_buf_init(&buf, 0);
	blobmsg_add_field(&buf, BLOBMSG_TYPE_STRING, "name", "abc", 3);   // no NUL
	EXPECT_EQ(blobmsg_parse(policy, __P_MAX, tb, blob_data(buf.head), blob_len(buf.head)), -1);
	EXPECT_FALSE(blobmsg_check_attr((struct blob_attr *) blob_data(buf.head), true));

	blob_buf_init(&buf, 0);
	blobmsg_add_string(&buf, "name", "ok");
	struct blob_attr *attr = (struct blob_attr *) blob_data(buf.head);
	EXPECT_TRUE(blobmsg_check_attr(attr, true));
	EXPECT_FALSE(blobmsg_check_attr_len(attr, true, blob_raw_len(attr) - 1));

	// name length pointing past the attribute
	((struct blobmsg_hdr *) blob_data(attr))->namelen = cpu_to_be16(200);
	EXPECT_FALSE(blobmsg_check_attr(attr, false));
	EXPECT_EQ(blobmsg_parse(policy, __P_MAX, tb, blob_data(buf.head), blob_len(buf.head)), 0);
	EXPECT_FALSE(tb[P_NAME]);

	// unnamed member of a table
	blob_buf_init(&buf, 0);
	void *t = blobmsg_open_table(&buf, "t");
	blobmsg_add_u32(&buf, "", 1);
	blobmsg_close_table(&buf, t);
	EXPECT_EQ(blobmsg_check_array((struct blob_attr *) blob_data(buf.head), BLOBMSG_TYPE_UNSPEC), -1);
}

// An event whose only member has length 2 (hex 83000002): parsing it
// once read up to 64 KiB past the message, since the member's payload
// length wrapped around.
TEST_F(Blobmsg, ParseSkipsAMemberShorterThanItsHeader)
{
	struct blob_attr *tb[__P_MAX];
	const uint8_t bytes[] = { 0x83, 0x00, 0x00, 0x02 };
	auto *data = (uint8_t *) malloc(sizeof(bytes));
	memcpy(data, bytes, sizeof(bytes));

	EXPECT_EQ(blobmsg_parse(policy, __P_MAX, tb, data, sizeof(bytes)), 0);
	for (struct blob_attr *found : tb)
		EXPECT_FALSE(found);
	EXPECT_FALSE(blobmsg_check_attr_len((struct blob_attr *) data, false, sizeof(bytes)));
	free(data);
}

TEST_F(Blobmsg, ArrayChecksAndParseByPosition)
{
	static const struct blobmsg_policy by_pos[3] = {
		{ NULL, BLOBMSG_TYPE_INT32 },
		{ NULL, BLOBMSG_TYPE_STRING },
		{ NULL, BLOBMSG_TYPE_INT32 },
	};
	struct blob_attr *tb[3];

	blob_buf_init(&buf, 0);
	void *a = blobmsg_open_array(&buf, "a");
	blobmsg_add_u32(&buf, NULL, 1);
	blobmsg_add_u32(&buf, NULL, 2);
	blobmsg_add_u32(&buf, NULL, 3);
	blobmsg_close_array(&buf, a);
	struct blob_attr *array = (struct blob_attr *) blob_data(buf.head);

	EXPECT_EQ(blobmsg_check_array(array, BLOBMSG_TYPE_INT32), 3);
	EXPECT_EQ(blobmsg_check_array(array, BLOBMSG_TYPE_STRING), -1);
	EXPECT_FALSE(blobmsg_check_attr_list((struct blob_attr *) blobmsg_data(array), BLOBMSG_TYPE_UNSPEC));

	ASSERT_EQ(blobmsg_parse_array_attr(by_pos, 3, tb, array), 0);
	ASSERT_TRUE(tb[0] && tb[2]);
	EXPECT_EQ(blobmsg_get_u32(tb[0]), 1u);
	EXPECT_FALSE(tb[1]);
	EXPECT_EQ(blobmsg_get_u32(tb[2]), 3u);
}

TEST_F(Blobmsg, PrintfAndStringBuffers)
{
	std::string long_text(1000, 'z');

	blob_buf_init(&buf, 0);
	EXPECT_EQ(blobmsg_printf(&buf, "p", "%s-%d", long_text.c_str(), 42), 1003);

	char *s = (char *) blobmsg_alloc_string_buffer(&buf, "s", 4);
	ASSERT_TRUE(s);
	strcpy(s, "ab");
	s = (char *) blobmsg_realloc_string_buffer(&buf, 3000);
	ASSERT_TRUE(s);
	memset(s + 2, 'c', 2500);
	s[2502] = 0;
	blobmsg_add_string_buffer(&buf);
	blobmsg_add_u8(&buf, "after", 0);

	struct blob_attr *tb[3];
	static const struct blobmsg_policy p[3] = {
		{ "p", BLOBMSG_TYPE_STRING }, { "s", BLOBMSG_TYPE_STRING }, { "after", BLOBMSG_TYPE_BOOL },
	};
	ASSERT_EQ(blobmsg_parse(p, 3, tb, blob_data(buf.head), blob_len(buf.head)), 0);
	ASSERT_TRUE(tb[0] && tb[1] && tb[2]);
	EXPECT_EQ(std::string(blobmsg_get_string(tb[0])), long_text + "-42");
	EXPECT_EQ(std::string(blobmsg_get_string(tb[1])), "ab" + std::string(2500, 'c'));
	EXPECT_EQ(blobmsg_data_len(tb[1]), 2503u);
	EXPECT_FALSE(blobmsg_get_bool(tb[2]));
}

} // namespace
