// Offsets and nest cookies inside a blob_buf, shared by blob and blobmsg.
#ifndef HOSTKIT_UBOX_BLOB_PRIVATE_H
#define HOSTKIT_UBOX_BLOB_PRIVATE_H

#include <stddef.h>

struct blob_buf;
struct blob_attr;

size_t blob_offset_of(const struct blob_buf *buf, const struct blob_attr *attr);
struct blob_attr *blob_at_offset(const struct blob_buf *buf, size_t offset);
void *blob_cookie_of(const struct blob_buf *buf, const struct blob_attr *attr);

#endif
