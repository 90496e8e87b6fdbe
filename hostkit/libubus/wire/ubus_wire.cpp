/*
 * ubus_wire.cpp - building and checking bus frames
 */
#include "ubus_wire.h"

#include <stdlib.h>
#include <string.h>

static const uint32_t BLOB_LEN_MASK = 0x00ffffff;

uint32_t ubus_wire_load_be32(const void *p)
{
	const uint8_t *b = static_cast<const uint8_t *>(p);
	return (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3];
}

void ubus_wire_store_be32(void *p, uint32_t v)
{
	uint8_t *b = static_cast<uint8_t *>(p);
	b[0] = v >> 24;
	b[1] = v >> 16;
	b[2] = v >> 8;
	b[3] = v;
}

static size_t pad4(size_t len)
{
	return (len + 3) & ~(size_t)3;
}

static uint8_t *reserve(struct ubus_wire_buf *b, size_t n)
{
	if (b->failed)
		return NULL;
	if (b->len + n > UBUS_WIRE_MAX_LEN) {
		b->failed = b->too_large = true;
		return NULL;
	}
	if (b->len + n > b->cap) {
		size_t cap = b->cap ? b->cap : 256;
		while (cap < b->len + n)
			cap *= 2;
		uint8_t *data = static_cast<uint8_t *>(realloc(b->data, cap));
		if (!data) {
			b->failed = true;
			return NULL;
		}
		b->data = data;
		b->cap = cap;
	}
	uint8_t *p = b->data + b->len;
	b->len += n;
	return p;
}

void ubus_wire_begin(struct ubus_wire_buf *b, uint8_t type, uint32_t seq)
{
	b->len = 0;
	b->failed = b->too_large = false;
	uint8_t *p = reserve(b, UBUS_WIRE_MIN_LEN);
	if (!p)
		return;
	memset(p, 0, UBUS_WIRE_MIN_LEN);
	p[0] = type;
	ubus_wire_store_be32(p + 4, seq);
}

void ubus_wire_put(struct ubus_wire_buf *b, int attr, const void *data, size_t len)
{
	if (len > BLOB_LEN_MASK - 4) {
		b->failed = b->too_large = true;
		return;
	}
	uint8_t *p = reserve(b, pad4(4 + len));
	if (!p)
		return;
	ubus_wire_store_be32(p, (uint32_t)attr << 24 | (uint32_t)(4 + len));
	if (len)
		memcpy(p + 4, data, len);
	memset(p + 4 + len, 0, pad4(4 + len) - 4 - len);
}

void ubus_wire_put_u32(struct ubus_wire_buf *b, int attr, uint32_t value)
{
	uint8_t be[4];
	ubus_wire_store_be32(be, value);
	ubus_wire_put(b, attr, be, sizeof(be));
}

void ubus_wire_put_u8(struct ubus_wire_buf *b, int attr, uint8_t value)
{
	ubus_wire_put(b, attr, &value, 1);
}

void ubus_wire_put_string(struct ubus_wire_buf *b, int attr, const char *s)
{
	ubus_wire_put(b, attr, s, strlen(s) + 1);
}

bool ubus_wire_end(struct ubus_wire_buf *b)
{
	if (b->failed || b->len < UBUS_WIRE_MIN_LEN)
		return false;
	ubus_wire_store_be32(b->data + UBUS_WIRE_ROOT_OFFSET, (uint32_t)(b->len - UBUS_WIRE_HDR_LEN));
	return true;
}

void ubus_wire_release(struct ubus_wire_buf *b)
{
	free(b->data);
	b->data = NULL;
	b->len = b->cap = 0;
	b->failed = b->too_large = false;
}

long ubus_wire_frame_len(const uint8_t *data, size_t avail)
{
	if (avail < UBUS_WIRE_MIN_LEN)
		return 0;
	if (data[0] == 0 || data[0] >= UBUS_WIRE_TYPE_MAX || data[1] || data[2] || data[3])
		return -1;
	uint32_t root = ubus_wire_load_be32(data + UBUS_WIRE_ROOT_OFFSET);
	size_t root_len = root & BLOB_LEN_MASK;
	if ((root >> 24) != 0 || root_len < 4 || root_len % 4)
		return -1;
	if (UBUS_WIRE_HDR_LEN + root_len > UBUS_WIRE_MAX_LEN)
		return -1;
	return (long)(UBUS_WIRE_HDR_LEN + root_len);
}

static bool nested_blob_fits(const uint8_t *attr)
{
	size_t len = ubus_wire_payload_len(attr);
	if (len < 4)
		return false;
	size_t inner = ubus_wire_load_be32(ubus_wire_payload(attr)) & BLOB_LEN_MASK;
	return inner >= 4 && inner <= len;
}

static bool attr_valid(int id, const uint8_t *attr)
{
	size_t len = ubus_wire_payload_len(attr);
	const char *s = static_cast<const char *>(ubus_wire_payload(attr));

	switch (id) {
	case UBUS_WIRE_ATTR_STATUS:
	case UBUS_WIRE_ATTR_OBJID:
	case UBUS_WIRE_ATTR_OBJTYPE:
	case UBUS_WIRE_ATTR_TARGET:
	case UBUS_WIRE_ATTR_CLIENT:
	case UBUS_WIRE_ATTR_COUNT:
		return len == 4;
	case UBUS_WIRE_ATTR_NO_REPLY:
	case UBUS_WIRE_ATTR_ACTIVE:
		return len == 1;
	case UBUS_WIRE_ATTR_OBJPATH:
	case UBUS_WIRE_ATTR_METHOD:
	case UBUS_WIRE_ATTR_PATTERN:
		return len > 0 && memchr(s, 0, len) == s + len - 1;
	case UBUS_WIRE_ATTR_SIGNATURE:
	case UBUS_WIRE_ATTR_DATA:
		return nested_blob_fits(attr);
	default:
		return true;
	}
}

bool ubus_wire_parse(const uint8_t *data, size_t len, struct ubus_wire_frame *f)
{
	// ubus_wire_frame_len gives 0 for a short buffer, so len 0 would match.
	long frame_len = ubus_wire_frame_len(data, len);

	if (frame_len <= 0 || frame_len != (long)len)
		return false;
	memset(f, 0, sizeof(*f));
	f->type = data[0];
	f->seq = ubus_wire_load_be32(data + 4);

	size_t pos = UBUS_WIRE_MIN_LEN;
	while (pos < len) {
		if (len - pos < 4)
			return false;
		uint32_t word = ubus_wire_load_be32(data + pos);
		size_t attr_len = word & BLOB_LEN_MASK;
		int id = (int)(word >> 24);
		if (attr_len < 4 || pad4(attr_len) > len - pos)
			return false;
		const uint8_t *attr = data + pos;
		if (id > UBUS_WIRE_ATTR_UNSPEC && id < UBUS_WIRE_ATTR_MAX) {
			if (!attr_valid(id, attr))
				return false;
			f->attr[id] = attr;
		}
		pos += pad4(attr_len);
	}
	return true;
}

const void *ubus_wire_payload(const uint8_t *attr)
{
	return attr + 4;
}

size_t ubus_wire_payload_len(const uint8_t *attr)
{
	return (ubus_wire_load_be32(attr) & BLOB_LEN_MASK) - 4;
}

uint32_t ubus_wire_get_u32(const uint8_t *attr)
{
	return ubus_wire_load_be32(attr + 4);
}

uint8_t ubus_wire_get_u8(const uint8_t *attr)
{
	return attr[4];
}

const char *ubus_wire_get_string(const uint8_t *attr)
{
	return reinterpret_cast<const char *>(attr + 4);
}
