// The bytes of the status notifications the telemetry daemons build: what
// a subscriber receives is exactly this layout, so it is pinned byte for
// byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

extern "C" {
#include <libubox/blobmsg.h>
}

namespace {

class BlobmsgNotification : public ::testing::Test {
protected:
	void TearDown() override { blob_buf_free(&buf); }

	// "00 00 00 6c 83 ..." of the whole message, root header included
	std::string head_hex() const
	{
		std::string out;
		const unsigned char *p = (const unsigned char *) buf.head;

		for (size_t i = 0; i < blob_raw_len(buf.head); i++) {
			char byte[4];
			snprintf(byte, sizeof(byte), "%s%02x", i ? " " : "", p[i]);
			out += byte;
		}
		return out;
	}

	struct blob_buf buf = {};
};

// linetap's "syslog" payload: a string, a table in a table, a big-endian
// 64-bit number and a string whose NUL is part of its length.
TEST_F(BlobmsgNotification, LogNotificationBytes)
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
}

// airsift's counts are widened with their sign; an empty text still
// carries its NUL.
TEST_F(BlobmsgNotification, SignedCountAndEmptyTextBytes)
{
	ASSERT_EQ(blob_buf_init(&buf, 0), 0);
	blobmsg_add_u64(&buf, "n", (uint64_t) (int64_t) -5);
	blobmsg_add_string(&buf, "e", "");

	EXPECT_EQ(head_hex(),
		  "00 00 00 20 84 00 00 10 00 01 6e 00 ff ff ff ff ff ff ff fb 83 00 00 09 00 01 65 00 "
		  "00 00 00 00");
}

// Each notification starts the daemon's one buffer afresh: nothing of the
// previous message is left in it.
TEST_F(BlobmsgNotification, ReinitStartsAnEmptyMessageInTheSameBuffer)
{
	ASSERT_EQ(blob_buf_init(&buf, 0), 0);
	blobmsg_add_string(&buf, "a", "first message");
	ASSERT_EQ(blob_buf_init(&buf, 0), 0);
	blobmsg_add_u16(&buf, "b", 0x1234);

	EXPECT_EQ(head_hex(), "00 00 00 10 86 00 00 0a 00 01 62 00 12 34 00 00");
}

} // namespace
