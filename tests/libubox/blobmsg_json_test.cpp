// JSON text of blobmsg messages, as the command-line client prints them.
#include "blob_buf_fixture.h"

#include <nlohmann/json.hpp>

#include <cstring>
#include <string>
#include <vector>

namespace {

using BlobmsgJson = BlobBufTest;

TEST_F(BlobmsgJson, ScalarTypes)
{
	blob_buf_init(&buf, 0);
	blobmsg_add_u8(&buf, "f", 0);
	blobmsg_add_u16(&buf, "s", (uint16_t) -2);
	blobmsg_add_u32(&buf, "i", (uint32_t) -3);
	blobmsg_add_u64(&buf, "min", (uint64_t) INT64_MIN);
	blobmsg_add_double(&buf, "d", 1.5);
	blobmsg_add_field(&buf, BLOBMSG_TYPE_UNSPEC, "u", NULL, 0);

	EXPECT_EQ(json_of(buf.head, true),
		  R"({"f":false,"s":-2,"i":-3,"min":-9223372036854775808,"d":1.500000,"u":null})");
}

// Every byte value a string may hold comes out as JSON that reads back to
// the same string: control characters escaped, UTF-8 passed through.
TEST_F(BlobmsgJson, EveryStringReadsBack)
{
	std::string all;
	for (int c = 1; c < 0x80; c++)
		all += (char) c;
	all += "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";

	blob_buf_init(&buf, 0);
	blobmsg_add_string(&buf, all.c_str(), all.c_str());
	void *arr = blobmsg_open_array(&buf, "a");
	blobmsg_add_string(&buf, NULL, "");
	blobmsg_add_string(&buf, NULL, "\n\t\r\b\f\x1f");
	blobmsg_close_array(&buf, arr);

	std::string text = json_of(buf.head, true);
	for (char c : text)
		EXPECT_GE((unsigned char) c, 0x20) << "raw control character in " << text;

	nlohmann::json parsed = nlohmann::json::parse(text);
	EXPECT_EQ(parsed[all], all);
	EXPECT_EQ(parsed["a"], nlohmann::json::array({ "", "\n\t\r\b\f\x1f" }));
}

// The indented form says the same as the compact one, member per line.
TEST_F(BlobmsgJson, IndentedFormHoldsTheSameData)
{
	blob_buf_init(&buf, 0);
	blobmsg_add_string(&buf, "name", "x");
	void *t = blobmsg_open_table(&buf, "t");
	void *a = blobmsg_open_array(&buf, "a");
	blobmsg_add_u32(&buf, NULL, 1);
	blobmsg_add_u32(&buf, NULL, 2);
	blobmsg_close_array(&buf, a);
	blobmsg_close_table(&buf, blobmsg_open_table(&buf, "e"));
	blobmsg_close_table(&buf, t);

	std::string compact = json_of(buf.head, true);
	std::string pretty = json_of(buf.head, true, 0);
	EXPECT_EQ(nlohmann::json::parse(pretty), nlohmann::json::parse(compact));
	EXPECT_NE(pretty.find("\n\t\"name\": \"x\",\n"), std::string::npos) << pretty;
	EXPECT_NE(pretty.find("\n\t\t\t1,\n\t\t\t2\n\t\t]"), std::string::npos) << pretty;
}

TEST_F(BlobmsgJson, SingleAttributesAndArrayRoots)
{
	blob_buf_init(&buf, 0);
	void *a = blobmsg_open_array(&buf, "a");
	blobmsg_add_string(&buf, NULL, "v");
	blobmsg_close_array(&buf, a);
	struct blob_attr *array = (struct blob_attr *) blob_data(buf.head);

	EXPECT_EQ(json_of(array, true), R"(["v"])");
	EXPECT_EQ(json_of(array, false), R"("a":["v"])");

	char *value = blobmsg_format_json_value(array);
	ASSERT_TRUE(value);
	EXPECT_STREQ(value, R"(["v"])");
	free(value);
}

// A hook replaces the text of chosen values.
// Formatting recurses once per level. A bus message can nest far deeper
// than any stack holds (1 MiB carries some 260,000 levels), so past 128
// levels of tables and arrays the text is refused as a whole.
TEST_F(BlobmsgJson, NestingDeeperThanTheBoundGivesNoText)
{
	auto nest = [this](int levels) {
		blob_buf_init(&buf, 0);
		std::vector<void *> cookies;
		for (int i = 0; i < levels; i++)
			cookies.push_back(blobmsg_open_array(&buf, ""));
		blobmsg_add_u32(&buf, "", 7);
		while (!cookies.empty()) {
			blobmsg_close_array(&buf, cookies.back());
			cookies.pop_back();
		}
	};

	nest(127);  // the message's own table makes 128
	EXPECT_EQ(json_of(buf.head, true), "{" + std::string(127, '[') + "7" + std::string(127, ']') + "}");
	nest(128);
	EXPECT_EQ(json_of(buf.head, true), "(null)");
	EXPECT_EQ(json_of(buf.head, true, 0), "(null)");
	nest(50000);  // some 400 KiB: a stack's worth of recursion and more
	EXPECT_EQ(json_of(buf.head, true), "(null)");
	EXPECT_EQ(json_of((struct blob_attr *) blob_data(buf.head), false), "(null)");
}

TEST_F(BlobmsgJson, FormatHookReplacesValues)
{
	blob_buf_init(&buf, 0);
	blobmsg_add_string(&buf, "secret", "hunter2");
	blobmsg_add_string(&buf, "user", "me");

	auto hide = [](void *priv, struct blob_attr *attr) -> const char * {
		++*(int *) priv;
		return strcmp(blobmsg_name(attr), "secret") ? NULL : "\"***\"";
	};
	int calls = 0;
	char *text = blobmsg_format_json_with_cb(buf.head, true, hide, &calls, -1);
	ASSERT_TRUE(text);
	EXPECT_STREQ(text, R"({"secret":"***","user":"me"})");
	EXPECT_EQ(calls, 2);
	free(text);
}

} // namespace
