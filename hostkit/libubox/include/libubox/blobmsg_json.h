/*
 * blobmsg_json - JSON text from blobmsg attributes
 *
 * Valid C and C++; no extern "C" guards: C++ users wrap the include in
 * extern "C" { }.
 */
#ifndef __JSON_H
#define __JSON_H

#include <stdbool.h>
#include "blobmsg.h"

/*
 * Optional hook: return a replacement text for attr (inserted verbatim),
 * or NULL to format it as usual.
 */
typedef const char *(*blobmsg_json_format_t)(void *priv, struct blob_attr *attr);

/*
 * Format attr as JSON into a string the caller frees. list: format the
 * members of attr as one object (or array, for a blobmsg array) instead of
 * attr itself. indent < 0: compact; otherwise one member per line, nested
 * levels indented by tabs, starting at level indent. NULL when attr is not
 * a valid attribute, memory runs out, or tables and arrays nest more than
 * 128 levels deep.
 */
char *blobmsg_format_json_with_cb(struct blob_attr *attr, bool list,
				  blobmsg_json_format_t cb, void *priv,
				  int indent);

static inline char *blobmsg_format_json(struct blob_attr *attr, bool list)
{
	return blobmsg_format_json_with_cb(attr, list, NULL, NULL, -1);
}

static inline char *blobmsg_format_json_indent(struct blob_attr *attr, bool list, int indent)
{
	return blobmsg_format_json_with_cb(attr, list, NULL, NULL, indent);
}

/* the value of attr alone, without its name */
char *blobmsg_format_json_value_with_cb(struct blob_attr *attr,
					blobmsg_json_format_t cb, void *priv,
					int indent);

static inline char *blobmsg_format_json_value(struct blob_attr *attr)
{
	return blobmsg_format_json_value_with_cb(attr, NULL, NULL, -1);
}

static inline char *blobmsg_format_json_value_indent(struct blob_attr *attr, int indent)
{
	return blobmsg_format_json_value_with_cb(attr, NULL, NULL, indent);
}

#endif
