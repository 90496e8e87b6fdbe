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

// Each length handed over is a heap block of exactly that size, so the
// sanitizer build sees any byte read beyond it.
bool parses(const std::vector<uint8_t> &bytes, size_t len, struct ubus_wire_frame *f)
{
	std::unique_ptr<uint8_t[]> copy(new uint8_t[len]);
	memcpy(copy.get(), bytes.data(), len);
	return ubus_wire_parse(copy.get(), len, f);
}

TEST(UbusWire, AFrameParsesBackToItsAttributes)
{
	std::vector<uint8_t> frame = lookup_frame("telemetry_airsift");
	struct ubus_wire_frame f;

	ASSERT_TRUE(parses(frame, frame.size(), &f));
	EXPECT_EQ(f.type, UBUS_WIRE_LOOKUP);
	EXPECT_EQ(f.seq, 7u);
	ASSERT_TRUE(f.attr[UBUS_WIRE_ATTR_OBJPATH]);
	EXPECT_STREQ(ubus_wire_get_string(f.attr[UBUS_WIRE_ATTR_OBJPATH]), "telemetry_airsift");
}

// Length 0 once matched the "too short to tell" answer of the header
// check, and the header was read from an empty buffer.
TEST(UbusWire, EveryLengthShortOfTheFrameIsRefused)
{
	std::vector<uint8_t> frame = lookup_frame("x");
	struct ubus_wire_frame f;

	for (size_t len = 0; len < frame.size(); len++)
		EXPECT_FALSE(parses(frame, len, &f)) << len;
}

TEST(UbusWire, AnAttributeShorterThanItsHeaderIsRefused)
{
	std::vector<uint8_t> frame = lookup_frame("abc");
	struct ubus_wire_frame f;

	frame[UBUS_WIRE_MIN_LEN + 3] = 2;  // the path's length word: 2
	EXPECT_FALSE(parses(frame, frame.size(), &f));
}

} // namespace
