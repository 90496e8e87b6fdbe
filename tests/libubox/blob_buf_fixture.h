// A blob_buf per test, freed afterwards, and views of its bytes as hex
// and as JSON.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" {
#include <libubox/blobmsg.h>
#include <libubox/blobmsg_json.h>
}

class BlobBufTest : public ::testing::Test {
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

	// the JSON text of attr (its members when list), or "(null)"
	static std::string json_of(struct blob_attr *attr, bool list, int indent = -1)
	{
		char *text = blobmsg_format_json_indent(attr, list, indent);
		std::string out = text ? text : "(null)";

		free(text);
		return out;
	}

	struct blob_buf buf = {};
};
