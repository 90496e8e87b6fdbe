// blobmsg_json: JSON text for blobmsg attributes, compact or indented by
// tabs, built in a malloc'd string that grows as needed.
//
// Tables and arrays are formatted by recursion, one level per nesting
// level, and a message from the bus may nest as deep as its size allows
// (a 1 MiB message holds some 260,000 levels). Past JSON_MAX_DEPTH levels
// the text is given up, as when memory runs out: the caller gets NULL.
extern "C" {
#include <libubox/blobmsg_json.h>
}

#include <inttypes.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

constexpr int JSON_MAX_DEPTH = 128;

struct json_out {
	char *buf;
	size_t len;
	size_t size;
	bool failed;

	bool indent;
	int level;
	int depth;	// tables and arrays open

	blobmsg_json_format_t cb;
	void *priv;
};

static void json_put(struct json_out *s, const char *text, size_t len)
{
	if (s->failed)
		return;

	if (s->len + len + 1 > s->size) {
		size_t size = s->size ? s->size : 256;
		char *n;

		while (s->len + len + 1 > size)
			size *= 2;
		n = (char *) realloc(s->buf, size);
		if (!n) {
			s->failed = true;
			return;
		}
		s->buf = n;
		s->size = size;
	}

	memcpy(s->buf + s->len, text, len);
	s->len += len;
	s->buf[s->len] = 0;
}

static void json_puts(struct json_out *s, const char *text)
{
	json_put(s, text, strlen(text));
}

// In indented output: a line break and the current level's tabs.
static void json_newline(struct json_out *s)
{
	if (!s->indent)
		return;

	json_put(s, "\n", 1);
	for (int i = 0; i < s->level; i++)
		json_put(s, "\t", 1);
}

static void json_string(struct json_out *s, const char *str)
{
	const char *run = str;

	json_put(s, "\"", 1);
	for (const char *p = str; *p; p++) {
		unsigned char c = (unsigned char) *p;
		char esc[8];

		switch (c) {
		case '"':  strcpy(esc, "\\\""); break;
		case '\\': strcpy(esc, "\\\\"); break;
		case '\b': strcpy(esc, "\\b"); break;
		case '\n': strcpy(esc, "\\n"); break;
		case '\r': strcpy(esc, "\\r"); break;
		case '\t': strcpy(esc, "\\t"); break;
		default:
			if (c >= 0x20)
				continue;
			snprintf(esc, sizeof(esc), "\\u%04x", c);
			break;
		}

		json_put(s, run, p - run);
		json_puts(s, esc);
		run = p + 1;
	}
	json_puts(s, run);
	json_put(s, "\"", 1);
}

static void json_element(struct json_out *s, struct blob_attr *attr, bool with_name, bool top);

static void json_members(struct json_out *s, struct blob_attr *data, size_t len, bool array)
{
	struct blob_attr *pos;
	size_t rem = len;
	bool first = true;

	if (s->depth == JSON_MAX_DEPTH) {
		s->failed = true;
		return;
	}
	s->depth++;
	json_put(s, array ? "[" : "{", 1);
	s->level++;
	json_newline(s);

	__blob_for_each_attr(pos, data, rem) {
		// skipped whole, so no stray comma is left behind
		if (!blobmsg_check_attr_len(pos, false, rem))
			continue;
		if (!first) {
			json_put(s, ",", 1);
			json_newline(s);
		}
		json_element(s, pos, !array, false);
		first = false;
		if (s->failed)
			break;
	}

	s->depth--;
	s->level--;
	json_newline(s);
	json_put(s, array ? "]" : "}", 1);
}

static void json_element(struct json_out *s, struct blob_attr *attr, bool with_name, bool top)
{
	// wide enough for any double printed with %lf
	char num[320];
	void *data = blobmsg_data(attr);

	if (with_name && blob_is_extended(attr) && blobmsg_name(attr)[0]) {
		json_string(s, blobmsg_name(attr));
		json_puts(s, s->indent ? ": " : ":");
	}

	if (!top && s->cb) {
		const char *text = s->cb(s->priv, attr);

		if (text) {
			json_puts(s, text);
			return;
		}
	}

	switch (blob_id(attr)) {
	case BLOBMSG_TYPE_ARRAY:
		json_members(s, (struct blob_attr *) data, blobmsg_data_len(attr), true);
		return;
	case BLOBMSG_TYPE_TABLE:
		json_members(s, (struct blob_attr *) data, blobmsg_data_len(attr), false);
		return;
	case BLOBMSG_TYPE_STRING:
		json_string(s, (const char *) data);
		return;
	case BLOBMSG_TYPE_INT8:
		json_puts(s, blobmsg_get_u8(attr) ? "true" : "false");
		return;
	case BLOBMSG_TYPE_INT16:
		snprintf(num, sizeof(num), "%" PRId16, (int16_t) blobmsg_get_u16(attr));
		break;
	case BLOBMSG_TYPE_INT32:
		snprintf(num, sizeof(num), "%" PRId32, (int32_t) blobmsg_get_u32(attr));
		break;
	case BLOBMSG_TYPE_INT64:
		snprintf(num, sizeof(num), "%" PRId64, (int64_t) blobmsg_get_u64(attr));
		break;
	case BLOBMSG_TYPE_DOUBLE:
		snprintf(num, sizeof(num), "%lf", blobmsg_get_double(attr));
		break;
	default:
		strcpy(num, "null");
		break;
	}
	json_puts(s, num);
}

static bool json_begin(struct json_out *s, struct blob_attr *attr,
		       blobmsg_json_format_t cb, void *priv, int indent)
{
	if (!attr || !blobmsg_check_attr(attr, false))
		return false;

	memset(s, 0, sizeof(*s));
	s->cb = cb;
	s->priv = priv;
	s->indent = indent >= 0;
	s->level = indent >= 0 ? indent : 0;
	return true;
}

static char *json_finish(struct json_out *s)
{
	if (s->failed) {
		free(s->buf);
		return NULL;
	}
	return s->buf;
}

char *blobmsg_format_json_with_cb(struct blob_attr *attr, bool list,
				  blobmsg_json_format_t cb, void *priv, int indent)
{
	struct json_out s;

	if (!json_begin(&s, attr, cb, priv, indent))
		return NULL;

	if (list) {
		bool array = blob_is_extended(attr) && blobmsg_type(attr) == BLOBMSG_TYPE_ARRAY;

		json_members(&s, (struct blob_attr *) blobmsg_data(attr), blobmsg_data_len(attr), array);
	} else {
		json_element(&s, attr, true, true);
	}

	return json_finish(&s);
}

char *blobmsg_format_json_value_with_cb(struct blob_attr *attr, blobmsg_json_format_t cb,
					void *priv, int indent)
{
	struct json_out s;

	if (!json_begin(&s, attr, cb, priv, indent))
		return NULL;

	json_element(&s, attr, false, false);
	return json_finish(&s);
}
