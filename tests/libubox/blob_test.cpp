// Plain blob attributes: nesting across buffer growth, parsing by id,
// copies and comparison.
#include "blob_buf_fixture.h"

#include <cstring>
#include <vector>

namespace {

using Blob = BlobBufTest;

enum { A_NAME = 1, A_NUM = 2, A_NEST = 3, A_MAX = 4 };

TEST_F(Blob, NestsSurviveTheBufferMoving)
{
	ASSERT_EQ(blob_buf_init(&buf, 0), 0);
	void *outer = blob_nest_start(&buf, A_NEST);
	void *inner = blob_nest_start(&buf, A_NEST);
	ASSERT_TRUE(outer && inner);

	// several times the first allocation, so realloc moves the buffer
	for (uint32_t i = 0; i < 300; i++)
		blob_put_u32(&buf, A_NUM, i);
	blob_nest_end(&buf, inner);
	blob_put_string(&buf, A_NAME, "tail");
	blob_nest_end(&buf, outer);

	struct blob_attr *o = (struct blob_attr *) blob_data(buf.head);
	EXPECT_EQ(blob_id(o), (unsigned) A_NEST);
	EXPECT_FALSE(blob_is_extended(o));
	EXPECT_EQ(blob_raw_len(buf.head), 4 + blob_pad_len(o));

	struct blob_attr *cur, *i_nest = (struct blob_attr *) blob_data(o);
	size_t rem;
	uint32_t expect = 0;
	blob_for_each_attr(cur, i_nest, rem) {
		EXPECT_EQ(blob_id(cur), (unsigned) A_NUM);
		EXPECT_EQ(blob_get_u32(cur), expect++);
	}
	EXPECT_EQ(expect, 300u);
	EXPECT_STREQ(blob_get_string(blob_next(i_nest)), "tail");
}

TEST_F(Blob, ParseKeepsTheLastOfEachIdThatFitsItsRules)
{
	static const struct blob_attr_info info[A_MAX] = {
		{ BLOB_ATTR_UNSPEC, 0, 0, NULL },
		{ BLOB_ATTR_STRING, 0, 4, NULL },
		{ BLOB_ATTR_INT32, 0, 0, NULL },
		{ BLOB_ATTR_NESTED, 0, 0, NULL },
	};
	struct blob_attr *tb[A_MAX];

	blob_buf_init(&buf, 0);
	blob_put_string(&buf, A_NAME, "abc");
	blob_put_string(&buf, A_NAME, "too long");  // over maxlen
	blob_put_u16(&buf, A_NUM, 1);               // wrong size
	blob_put_u32(&buf, A_NUM, 2);
	blob_put_u32(&buf, A_NUM, 3);
	blob_put_u8(&buf, 7, 0);                    // id beyond max

	EXPECT_EQ(blob_parse(buf.head, tb, info, A_MAX), 2);
	ASSERT_TRUE(tb[A_NAME] && tb[A_NUM]);
	EXPECT_STREQ(blob_get_string(tb[A_NAME]), "abc");
	EXPECT_EQ(blob_get_u32(tb[A_NUM]), 3u);
	EXPECT_FALSE(tb[A_NEST]);

	// a message claiming more than was received yields nothing
	EXPECT_EQ(blob_parse_untrusted(buf.head, blob_raw_len(buf.head) - 4, tb, info, A_MAX), 0);
	EXPECT_FALSE(tb[A_NAME]);
}

// A member whose length runs past its container ends the walk there.
TEST_F(Blob, WalkStopsAtAMemberLongerThanWhatIsLeft)
{
	blob_buf_init(&buf, 0);
	blob_put_u32(&buf, A_NUM, 1);
	struct blob_attr *second = blob_put_u32(&buf, A_NUM, 2);
	blob_set_raw_len(second, 64);

	struct blob_attr *cur;
	size_t rem;
	int seen = 0;
	blob_for_each_attr(cur, buf.head, rem)
		seen++;
	EXPECT_EQ(seen, 1);
}

// A member whose length (1 to 3) is shorter than its own header word: its
// payload length would wrap to nearly SIZE_MAX and send the checks of a
// parse far past the buffer. The walk ends there instead.
TEST_F(Blob, WalkStopsAtAMemberShorterThanItsHeader)
{
	static const struct blob_attr_info info[A_MAX] = {
		{ BLOB_ATTR_UNSPEC, 0, 0, NULL },
		{ BLOB_ATTR_STRING, 0, 0, NULL },
		{ BLOB_ATTR_INT32, 0, 0, NULL },
		{ BLOB_ATTR_STRING, 0, 0, NULL },
	};
	struct blob_attr *tb[A_MAX];

	for (uint8_t raw_len = 1; raw_len < 4; raw_len++) {
		// root of 8 bytes holding "id 3, length raw_len"
		const uint8_t bytes[] = { 0, 0, 0, 8, A_NEST, 0, 0, raw_len };
		auto *message = (struct blob_attr *) malloc(sizeof(bytes));
		memcpy(message, bytes, sizeof(bytes));

		EXPECT_EQ(blob_parse_untrusted(message, sizeof(bytes), tb, info, A_MAX), 0);
		EXPECT_FALSE(tb[A_NEST]);
		struct blob_attr *cur;
		size_t rem;
		int seen = 0;
		blob_for_each_attr(cur, message, rem)
			seen++;
		EXPECT_EQ(seen, 0);
		free(message);
	}
}

TEST_F(Blob, CopiesCompareEqualAndRawPutsAppendThem)
{
	blob_buf_init(&buf, 0);
	blobmsg_add_string(&buf, "k", "seven");   // 14 bytes: padding follows
	struct blob_attr *copy = blob_memdup((struct blob_attr *) blob_data(buf.head));
	ASSERT_TRUE(copy);

	struct blob_buf other = {};
	blob_buf_init(&other, 0);
	blob_put_raw(&other, copy, blob_raw_len(copy));
	blob_put_raw(&other, copy, blob_raw_len(copy));

	struct blob_attr *first = (struct blob_attr *) blob_data(other.head);
	EXPECT_TRUE(blob_attr_equal(copy, first));
	EXPECT_TRUE(blob_attr_equal(copy, blob_next(first)));
	EXPECT_EQ(blob_len(other.head), 2 * blob_pad_len(copy));
	EXPECT_EQ(0, memcmp(blob_data(buf.head), blob_data(other.head), blob_pad_len(copy)));

	blobmsg_add_u8(&other, "k", 1);
	EXPECT_FALSE(blob_attr_equal(copy, blob_next(blob_next(first))));
	EXPECT_FALSE(blob_attr_equal(copy, NULL));
	EXPECT_TRUE(blob_attr_equal(NULL, NULL));

	free(copy);
	blob_buf_free(&other);
}

} // namespace
