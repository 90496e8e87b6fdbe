// blobmsg: named attributes on top of blob; building, checking and
// looking members up by name (or position) through a policy.
extern "C" {
#include <libubox/blobmsg.h>
}

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "blob_private.h"

// blob type whose size rule a blobmsg value follows (UNSPEC: no rule)
static int blobmsg_value_rule(int type)
{
	switch (type) {
	case BLOBMSG_TYPE_STRING:
		return BLOB_ATTR_STRING;
	case BLOBMSG_TYPE_INT64:
		return BLOB_ATTR_INT64;
	case BLOBMSG_TYPE_INT32:
		return BLOB_ATTR_INT32;
	case BLOBMSG_TYPE_INT16:
		return BLOB_ATTR_INT16;
	case BLOBMSG_TYPE_INT8:
		return BLOB_ATTR_INT8;
	case BLOBMSG_TYPE_DOUBLE:
		return BLOB_ATTR_DOUBLE;
	default:
		return BLOB_ATTR_UNSPEC;
	}
}

// The name header lies inside the attribute and the name is terminated.
static bool blobmsg_check_name(const struct blob_attr *attr, bool name)
{
	const struct blobmsg_hdr *hdr;
	uint16_t namelen;

	if (!blob_is_extended(attr))
		return !name;

	if (blob_len(attr) < sizeof(struct blobmsg_hdr))
		return false;

	hdr = (const struct blobmsg_hdr *) blob_data(attr);
	namelen = blobmsg_namelen(hdr);
	if (name && !namelen)
		return false;
	if ((size_t) blobmsg_hdrlen(namelen) > blob_len(attr))
		return false;
	return hdr->name[namelen] == 0;
}

bool blobmsg_check_attr_len(const struct blob_attr *attr, bool name, size_t len)
{
	size_t raw;
	int rule;

	if (len < sizeof(struct blob_attr))
		return false;

	raw = blob_raw_len(attr);
	if (raw < sizeof(struct blob_attr) || raw > len)
		return false;

	if (!blobmsg_check_name(attr, name))
		return false;

	if (blob_id(attr) > BLOBMSG_TYPE_LAST)
		return false;

	rule = blobmsg_value_rule(blob_id(attr));
	if (rule == BLOB_ATTR_UNSPEC)
		return true;

	return blob_check_type(blobmsg_data(attr), blobmsg_data_len(attr), rule);
}

bool blobmsg_check_attr(const struct blob_attr *attr, bool name)
{
	return blobmsg_check_attr_len(attr, name, blob_raw_len(attr));
}

int blobmsg_check_array_len(const struct blob_attr *attr, int type, size_t len)
{
	struct blob_attr *cur;
	size_t rem;
	bool name;
	int count = 0;

	if (!blobmsg_check_attr_len(attr, false, len))
		return -1;

	switch (blobmsg_type(attr)) {
	case BLOBMSG_TYPE_TABLE:
		name = true;
		break;
	case BLOBMSG_TYPE_ARRAY:
		name = false;
		break;
	default:
		return -1;
	}

	blobmsg_for_each_attr(cur, attr, rem) {
		if (type != BLOBMSG_TYPE_UNSPEC && blobmsg_type(cur) != type)
			return -1;
		if (!blobmsg_check_attr_len(cur, name, rem))
			return -1;
		count++;
	}

	return count;
}

int blobmsg_check_array(const struct blob_attr *attr, int type)
{
	return blobmsg_check_array_len(attr, type, blob_raw_len(attr));
}

bool blobmsg_check_attr_list_len(const struct blob_attr *attr, int type, size_t len)
{
	return blobmsg_check_array_len(attr, type, len) >= 0;
}

bool blobmsg_check_attr_list(const struct blob_attr *attr, int type)
{
	return blobmsg_check_array(attr, type) >= 0;
}

static bool blobmsg_type_matches(const struct blobmsg_policy *policy, const struct blob_attr *attr)
{
	int type = blob_id(attr);

	if (policy->type == BLOBMSG_TYPE_UNSPEC)
		return true;
	if (policy->type == BLOBMSG_CAST_INT64)
		return type == BLOBMSG_TYPE_INT64 || type == BLOBMSG_TYPE_INT32 ||
		       type == BLOBMSG_TYPE_INT16 || type == BLOBMSG_TYPE_INT8;
	return (int) policy->type == type;
}

int blobmsg_parse(const struct blobmsg_policy *policy, int policy_len,
		  struct blob_attr **tb, void *data, unsigned int len)
{
	struct blob_attr *attr;
	size_t rem = len;

	if (policy_len > 0)
		memset(tb, 0, policy_len * sizeof(*tb));

	if (!data || !len)
		return -EINVAL;

	__blob_for_each_attr(attr, data, rem) {
		const char *name;

		// unnamed or malformed names can match no policy entry
		if (!blobmsg_check_name(attr, true))
			continue;

		name = blobmsg_name(attr);
		for (int i = 0; i < policy_len; i++) {
			if (!policy[i].name || strcmp(policy[i].name, name) != 0)
				continue;
			if (!blobmsg_type_matches(&policy[i], attr))
				continue;
			if (!blobmsg_check_attr_len(attr, true, rem))
				return -1;
			if (!tb[i])
				tb[i] = attr;
		}
	}

	return 0;
}

int blobmsg_parse_array(const struct blobmsg_policy *policy, int policy_len,
			struct blob_attr **tb, void *data, unsigned int len)
{
	struct blob_attr *attr;
	size_t rem = len;
	int i = 0;

	if (policy_len > 0)
		memset(tb, 0, policy_len * sizeof(*tb));

	if (!data || !len)
		return -EINVAL;

	__blob_for_each_attr(attr, data, rem) {
		if (i >= policy_len)
			break;
		if (!blobmsg_check_attr_len(attr, false, rem))
			return -1;
		if (blobmsg_type_matches(&policy[i], attr))
			tb[i] = attr;
		i++;
	}

	return 0;
}

// A named attribute with payload_len bytes of value space; *data points there.
static struct blob_attr *blobmsg_new(struct blob_buf *buf, int type, const char *name,
				     int payload_len, void **data)
{
	struct blob_attr *attr;
	struct blobmsg_hdr *hdr;
	size_t namelen;
	int hdrlen;

	if (!name)
		name = "";

	namelen = strlen(name);
	if (namelen > 0xffff)
		return NULL;

	hdrlen = blobmsg_hdrlen(namelen);
	attr = blob_new(buf, type, hdrlen + payload_len);
	if (!attr)
		return NULL;

	attr->id_len |= cpu_to_be32(BLOB_ATTR_EXTENDED);
	hdr = (struct blobmsg_hdr *) blob_data(attr);
	hdr->namelen = cpu_to_be16(namelen);
	memcpy(hdr->name, name, namelen);
	memset(hdr->name + namelen, 0, hdrlen - sizeof(struct blobmsg_hdr) - namelen);

	if (data)
		*data = blobmsg_data(attr);
	return attr;
}

int blobmsg_add_field(struct blob_buf *buf, int type, const char *name,
		      const void *data, unsigned int len)
{
	struct blob_attr *attr;
	void *dest;

	attr = blobmsg_new(buf, type, name, len, &dest);
	if (!attr)
		return -1;

	if (len > 0)
		memcpy(dest, data, len);
	return 0;
}

void *blobmsg_open_nested(struct blob_buf *buf, const char *name, bool array)
{
	int type = array ? BLOBMSG_TYPE_ARRAY : BLOBMSG_TYPE_TABLE;
	void *cookie = blob_cookie_of(buf, buf->head);
	struct blob_attr *nest;
	size_t parent;

	if (!name)
		name = "";

	parent = blob_offset_of(buf, buf->head);
	nest = blobmsg_new(buf, type, name, 0, NULL);
	if (!nest)
		return NULL;

	// The parent counts only the nest's header word for now; the name
	// header and members are added when the nest is closed.
	struct blob_attr *head = blob_at_offset(buf, parent);
	blob_set_raw_len(head, blob_pad_len(head) - blobmsg_hdrlen(strlen(name)));
	buf->head = nest;
	return cookie;
}

void *blobmsg_alloc_string_buffer(struct blob_buf *buf, const char *name, unsigned int maxlen)
{
	struct blob_attr *attr;
	void *data;

	attr = blobmsg_new(buf, BLOBMSG_TYPE_STRING, name, maxlen, &data);
	if (!attr)
		return NULL;

	// Not part of the head until blobmsg_add_string_buffer.
	blob_set_raw_len(buf->head, blob_pad_len(buf->head) - blob_pad_len(attr));
	blob_set_raw_len(attr, blob_raw_len(attr) - maxlen);
	return data;
}

void *blobmsg_realloc_string_buffer(struct blob_buf *buf, unsigned int maxlen)
{
	struct blob_attr *attr = blob_next(buf->head);
	size_t end = blob_offset_of(buf, attr) + blob_pad_len(attr) + maxlen;

	if (end > (size_t) buf->buflen) {
		if (!blob_buf_grow(buf, end - buf->buflen))
			return NULL;
		attr = blob_next(buf->head);
	}

	return blobmsg_data(attr);
}

void blobmsg_add_string_buffer(struct blob_buf *buf)
{
	struct blob_attr *attr = blob_next(buf->head);
	size_t len = strlen((const char *) blobmsg_data(attr)) + 1;

	blob_set_raw_len(attr, blob_raw_len(attr) + len);
	blob_fill_pad(attr);
	blob_set_raw_len(buf->head, blob_pad_len(buf->head) + blob_pad_len(attr));
}

int blobmsg_vprintf(struct blob_buf *buf, const char *name, const char *format, va_list arg)
{
	va_list measure;
	char probe;
	char *sbuf;
	int len, ret;

	va_copy(measure, arg);
	len = vsnprintf(&probe, sizeof(probe), format, measure);
	va_end(measure);
	if (len < 0)
		return -1;

	sbuf = (char *) blobmsg_alloc_string_buffer(buf, name, len + 1);
	if (!sbuf)
		return -1;

	ret = vsnprintf(sbuf, len + 1, format, arg);
	if (ret < 0)
		return -1;

	blobmsg_add_string_buffer(buf);
	return ret;
}

int blobmsg_printf(struct blob_buf *buf, const char *name, const char *format, ...)
{
	va_list ap;
	int ret;

	va_start(ap, format);
	ret = blobmsg_vprintf(buf, name, format, ap);
	va_end(ap);

	return ret;
}
