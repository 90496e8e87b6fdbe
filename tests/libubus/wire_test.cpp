// Bus frames: what ubus_wire_parse accepts, and that it reads nothing
// beyond the length it is given.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "ubus_wire.h"

namespace {

std::vector<uint8_t> lookup_frame(const char *path)
{
	struct ubus_wire_buf b = {};
	ubus_wire_begin(&b, UBUS_WIRE_LOOKUP, 7);
	ubus_wire_put_string(&b, UBUS_WIRE_ATTR_OBJPATH, path);
	EXPECT_TRUE(ubus_wire_end(&b));
	std::vector<uint8_t> frame(b.data, b.data + b.len);
	ubus_wire_release(&b);
	return frame;
}

// The first len bytes of a frame as received: a heap block of exactly that
// size, so the sanitizer build sees any byte read beyond it. The frame's
// attributes point into it.
struct Received {
	Received(const std::vector<uint8_t> &bytes, size_t len) : data(new uint8_t[len])
	{
		memcpy(data.get(), bytes.data(), len);
		ok = ubus_wire_parse(data.get(), len, &f);
	}

	std::unique_ptr<uint8_t[]> data;
	struct ubus_wire_frame f;
	bool ok;
};

TEST(UbusWire, AFrameParsesBackToItsAttributes)
{
	std::vector<uint8_t> frame = lookup_frame("telemetry_airsift");
	Received r(frame, frame.size());

	ASSERT_TRUE(r.ok);
	EXPECT_EQ(r.f.type, UBUS_WIRE_LOOKUP);
	EXPECT_EQ(r.f.seq, 7u);
	ASSERT_TRUE(r.f.attr[UBUS_WIRE_ATTR_OBJPATH]);
	EXPECT_STREQ(ubus_wire_get_string(r.f.attr[UBUS_WIRE_ATTR_OBJPATH]), "telemetry_airsift");
}

// Length 0 once matched the "too short to tell" answer of the header
// check, and the header was read from an empty buffer.
TEST(UbusWire, EveryLengthShortOfTheFrameIsRefused)
{
	std::vector<uint8_t> frame = lookup_frame("x");

	for (size_t len = 0; len < frame.size(); len++)
		EXPECT_FALSE(Received(frame, len).ok) << len;
}

TEST(UbusWire, AnAttributeShorterThanItsHeaderIsRefused)
{
	std::vector<uint8_t> frame = lookup_frame("abc");

	frame[UBUS_WIRE_MIN_LEN + 3] = 2;  // the path's length word: 2
	EXPECT_FALSE(Received(frame, frame.size()).ok);
}

} // namespace
