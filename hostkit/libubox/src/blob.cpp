// blob: building attributes into a growing buffer, and checking and
// splitting received ones.
//
// buf->head is the attribute new ones are appended to: the root after
// blob_buf_init, the innermost open nest otherwise. Appending extends the
// head's length; closing a nest adds the nest's length to its parent.
// Nest cookies are buffer offsets (biased so that none is NULL), since the
// buffer may move whenever it grows.
extern "C" {
#include <libubox/blob.h>
}

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "blob_private.h"

static bool blob_buffer_grow(struct blob_buf *buf, int minlen)
{
	int delta = ((minlen / 256) + 1) * 256;
	char *n = (char *) realloc(buf->buf, buf->buflen + delta);

	if (!n)
		return false;
	memset(n + buf->buflen, 0, delta);
	buf->buf = n;
	buf->buflen += delta;
	return true;
}

static size_t pad_to_align(size_t len)
{
	return (len + BLOB_ATTR_ALIGN - 1) & ~(size_t) (BLOB_ATTR_ALIGN - 1);
}

size_t blob_offset_of(const struct blob_buf *buf, const struct blob_attr *attr)
{
	if (!buf->buf || !attr)
		return 0;
	return (size_t) ((const char *) attr - (const char *) buf->buf);
}

struct blob_attr *blob_at_offset(const struct blob_buf *buf, size_t offset)
{
	return (struct blob_attr *) ((char *) buf->buf + offset);
}

void *blob_cookie_of(const struct blob_buf *buf, const struct blob_attr *attr)
{
	return (void *) (uintptr_t) (blob_offset_of(buf, attr) + BLOB_COOKIE);
}

static void blob_init(struct blob_attr *attr, int id, unsigned int len)
{
	uint32_t id_len = len & BLOB_ATTR_LEN_MASK;

	id_len |= ((uint32_t) id << BLOB_ATTR_ID_SHIFT) & BLOB_ATTR_ID_MASK;
	attr->id_len = cpu_to_be32(id_len);
}

void blob_fill_pad(struct blob_attr *attr)
{
	size_t raw = blob_raw_len(attr);
	size_t pad = blob_pad_len(attr);

	if (pad > raw)
		memset((char *) attr + raw, 0, pad - raw);
}

void blob_set_raw_len(struct blob_attr *attr, unsigned int len)
{
	uint32_t id_len = be32_to_cpu(attr->id_len);

	id_len &= ~(uint32_t) BLOB_ATTR_LEN_MASK;
	id_len |= len & BLOB_ATTR_LEN_MASK;
	attr->id_len = cpu_to_be32(id_len);
}

bool blob_buf_grow(struct blob_buf *buf, int required)
{
	size_t head = blob_offset_of(buf, buf->head);

	if (required <= 0)
		return true;
	if ((size_t) buf->buflen + required > BLOB_ATTR_LEN_MASK)
		return false;
	if (!buf->grow || !buf->grow(buf, required))
		return false;

	buf->head = blob_at_offset(buf, head);
	return true;
}

// A new attribute of payload bytes at offset, growing the buffer as needed.
static struct blob_attr *blob_add_at(struct blob_buf *buf, size_t offset, int id, int payload)
{
	size_t end;
	struct blob_attr *attr;

	if (payload < 0)
		return NULL;

	end = offset + pad_to_align(sizeof(struct blob_attr) + payload);
	if (end > (size_t) buf->buflen && !blob_buf_grow(buf, end - buf->buflen))
		return NULL;

	attr = blob_at_offset(buf, offset);
	blob_init(attr, id, payload + sizeof(struct blob_attr));
	blob_fill_pad(attr);
	return attr;
}

int blob_buf_init(struct blob_buf *buf, int id)
{
	if (!buf->grow)
		buf->grow = blob_buffer_grow;

	buf->head = (struct blob_attr *) buf->buf;
	if (!blob_add_at(buf, 0, id, 0))
		return -ENOMEM;

	buf->head = (struct blob_attr *) buf->buf;
	return 0;
}

void blob_buf_free(struct blob_buf *buf)
{
	free(buf->buf);
	buf->buf = NULL;
	buf->head = NULL;
	buf->buflen = 0;
}

struct blob_attr *blob_new(struct blob_buf *buf, int id, int payload)
{
	struct blob_attr *attr;
	size_t offset;

	if (!buf->head)
		return NULL;

	offset = blob_offset_of(buf, blob_next(buf->head));
	attr = blob_add_at(buf, offset, id, payload);
	if (!attr)
		return NULL;

	blob_set_raw_len(buf->head, blob_pad_len(buf->head) + blob_pad_len(attr));
	return attr;
}

struct blob_attr *blob_put_raw(struct blob_buf *buf, const void *ptr, unsigned int len)
{
	struct blob_attr *attr;

	if (len < sizeof(struct blob_attr) || !ptr)
		return NULL;

	attr = blob_new(buf, 0, len - sizeof(struct blob_attr));
	if (!attr)
		return NULL;

	memcpy(attr, ptr, len);
	return attr;
}

struct blob_attr *blob_put(struct blob_buf *buf, int id, const void *ptr, unsigned int len)
{
	struct blob_attr *attr;

	attr = blob_new(buf, id, len);
	if (!attr)
		return NULL;

	if (len > 0)
		memcpy(blob_data(attr), ptr, len);
	return attr;
}

void *blob_nest_start(struct blob_buf *buf, int id)
{
	void *cookie = blob_cookie_of(buf, buf->head);
	struct blob_attr *nest = blob_new(buf, id, 0);

	if (!nest)
		return NULL;

	buf->head = nest;
	return cookie;
}

void blob_nest_end(struct blob_buf *buf, void *cookie)
{
	struct blob_attr *parent;

	// a failed open left the head where it was
	if (!cookie)
		return;

	parent = blob_at_offset(buf, (uintptr_t) cookie - BLOB_COOKIE);
	blob_set_raw_len(parent, blob_pad_len(parent) + blob_len(buf->head));
	buf->head = parent;
}

bool blob_attr_equal(const struct blob_attr *a1, const struct blob_attr *a2)
{
	if (!a1 && !a2)
		return true;
	if (!a1 || !a2)
		return false;
	if (blob_raw_len(a1) != blob_raw_len(a2))
		return false;

	return !memcmp(a1, a2, blob_raw_len(a1));
}

struct blob_attr *blob_memdup(struct blob_attr *attr)
{
	size_t raw = blob_raw_len(attr);
	struct blob_attr *ret = (struct blob_attr *) calloc(1, blob_pad_len(attr));

	if (!ret)
		return NULL;

	memcpy(ret, attr, raw);
	return ret;
}

bool blob_check_type(const void *ptr, unsigned int len, int type)
{
	const char *data = (const char *) ptr;

	switch (type) {
	case BLOB_ATTR_INT8:
		return len == 1;
	case BLOB_ATTR_INT16:
		return len == 2;
	case BLOB_ATTR_INT32:
		return len == 4;
	case BLOB_ATTR_INT64:
	case BLOB_ATTR_DOUBLE:
		return len == 8;
	case BLOB_ATTR_STRING:
		return len > 0 && data[len - 1] == 0;
	default:
		return type >= 0 && type < BLOB_ATTR_LAST;
	}
}

static bool blob_attr_fits(const struct blob_attr *pos, const struct blob_attr_info *info)
{
	size_t len = blob_len(pos);

	if (info->type < BLOB_ATTR_LAST && !blob_check_type(blob_data(pos), len, info->type))
		return false;
	if (info->minlen && len < info->minlen)
		return false;
	if (info->maxlen && len > info->maxlen)
		return false;
	if (info->validate && !info->validate(info, (struct blob_attr *) pos))
		return false;
	return true;
}

int blob_parse_untrusted(struct blob_attr *attr, size_t attr_len, struct blob_attr **data,
			 const struct blob_attr_info *info, int max)
{
	struct blob_attr *pos;
	size_t rem;
	int found = 0;

	if (max > 0)
		memset(data, 0, sizeof(struct blob_attr *) * max);

	if (!attr || attr_len < sizeof(struct blob_attr))
		return 0;
	if (blob_raw_len(attr) < sizeof(struct blob_attr) || blob_raw_len(attr) > attr_len)
		return 0;

	blob_for_each_attr(pos, attr, rem) {
		unsigned int id = blob_id(pos);

		if (id >= (unsigned int) max)
			continue;
		if (info && !blob_attr_fits(pos, &info[id]))
			continue;
		if (!data[id])
			found++;
		data[id] = pos;
	}
	return found;
}

int blob_parse(struct blob_attr *attr, struct blob_attr **data, const struct blob_attr_info *info, int max)
{
	return blob_parse_untrusted(attr, attr ? blob_raw_len(attr) : 0, data, info, max);
}
