/*
 * ubus_wire.h - frames between the bus library and the broker
 *
 * The bus is a Unix stream socket. Each frame is an 8-byte header followed
 * by one blob attribute (id 0) whose payload is a list of blob attributes
 * keyed by enum ubus_wire_attr:
 *
 *   offset 0  uint8   frame type (enum ubus_wire_type)
 *   offset 1  uint8   0
 *   offset 2  uint16  0
 *   offset 4  uint32  sequence number, big-endian
 *   offset 8  uint32  big-endian word of the root attribute: bits 0-23 its
 *                     length including this word (bits 24-31 are 0)
 *   offset 12 ...     attributes, each a 4-byte big-endian word (id << 24 |
 *                     length including the word), payload, padding to 4
 *
 * A client picks the sequence number of each request; every answer to it
 * (from the broker or, routed through the broker, from another client)
 * carries the same number. Frames the broker sends on its own use 0.
 *
 * This file is shared by the client library (C-like subset) and the broker.
 */
#ifndef UBUS_WIRE_H
#define UBUS_WIRE_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
	UBUS_WIRE_HDR_LEN = 8,
	UBUS_WIRE_ROOT_OFFSET = UBUS_WIRE_HDR_LEN,
	UBUS_WIRE_MIN_LEN = UBUS_WIRE_HDR_LEN + 4,
	/* Largest frame either side sends or accepts. */
	UBUS_WIRE_MAX_LEN = 1024 * 1024,
};

enum ubus_wire_type {
	UBUS_WIRE_HELLO = 1,       /* broker -> client on accept: CLIENT */
	UBUS_WIRE_STATUS,          /* answer: STATUS [OBJID OBJTYPE COUNT]; CLIENT when routed */
	UBUS_WIRE_DATA,            /* answer part: OBJID OBJPATH OBJTYPE SIGNATURE, or DATA */
	UBUS_WIRE_LOOKUP,          /* [OBJPATH], answered by DATA... then STATUS */
	UBUS_WIRE_ADD_OBJECT,      /* [OBJPATH] [OBJTYPE] [SIGNATURE] -> STATUS OBJID OBJTYPE */
	UBUS_WIRE_REMOVE_OBJECT,   /* OBJID -> STATUS */
	UBUS_WIRE_SUBSCRIBE,       /* OBJID (subscriber) TARGET -> STATUS */
	UBUS_WIRE_UNSUBSCRIBE,     /* OBJID (subscriber) TARGET -> STATUS */
	UBUS_WIRE_INVOKE,          /* OBJID METHOD [DATA] [NO_REPLY]; forwarded with CLIENT */
	UBUS_WIRE_NOTIFY,          /* OBJID METHOD [DATA] [NO_REPLY] -> STATUS COUNT */
	UBUS_WIRE_SUBSCRIBERS,     /* broker -> owner: OBJID ACTIVE */
	UBUS_WIRE_REMOVED,         /* broker -> subscriber: OBJID (subscriber) TARGET */
	UBUS_WIRE_EVENT_REGISTER,  /* OBJID PATTERN -> STATUS */
	UBUS_WIRE_EVENT_SEND,      /* METHOD [DATA] -> STATUS */
	UBUS_WIRE_EVENT,           /* broker -> listener: OBJID METHOD [DATA] */
	UBUS_WIRE_TYPE_MAX,
};

enum ubus_wire_attr {
	UBUS_WIRE_ATTR_UNSPEC,
	UBUS_WIRE_ATTR_STATUS,     /* u32 */
	UBUS_WIRE_ATTR_OBJPATH,    /* string */
	UBUS_WIRE_ATTR_OBJID,      /* u32 */
	UBUS_WIRE_ATTR_OBJTYPE,    /* u32 */
	UBUS_WIRE_ATTR_SIGNATURE,  /* one blob attribute: a table of method tables */
	UBUS_WIRE_ATTR_METHOD,     /* string */
	UBUS_WIRE_ATTR_TARGET,     /* u32, an object id */
	UBUS_WIRE_ATTR_CLIENT,     /* u32, a connection id */
	UBUS_WIRE_ATTR_DATA,       /* one blob attribute: the message */
	UBUS_WIRE_ATTR_NO_REPLY,   /* u8 */
	UBUS_WIRE_ATTR_ACTIVE,     /* u8 */
	UBUS_WIRE_ATTR_COUNT,      /* u32 */
	UBUS_WIRE_ATTR_PATTERN,    /* string */
	UBUS_WIRE_ATTR_MAX,
};

/* A frame under construction, in a malloc'ed buffer that grows. */
struct ubus_wire_buf {
	uint8_t *data;
	size_t len;
	size_t cap;
	bool failed;    /* out of memory or too large */
	bool too_large; /* over UBUS_WIRE_MAX_LEN */
};

void ubus_wire_begin(struct ubus_wire_buf *b, uint8_t type, uint32_t seq);
void ubus_wire_put(struct ubus_wire_buf *b, int attr, const void *data, size_t len);
void ubus_wire_put_u32(struct ubus_wire_buf *b, int attr, uint32_t value);
void ubus_wire_put_u8(struct ubus_wire_buf *b, int attr, uint8_t value);
void ubus_wire_put_string(struct ubus_wire_buf *b, int attr, const char *s);
/* Closes the root attribute; false when the frame could not be built. */
bool ubus_wire_end(struct ubus_wire_buf *b);
void ubus_wire_release(struct ubus_wire_buf *b);

/* A received frame: header fields and its attributes by id (NULL if absent). */
struct ubus_wire_frame {
	uint8_t type;
	uint32_t seq;
	const uint8_t *attr[UBUS_WIRE_ATTR_MAX];
};

/*
 * Length of the frame starting at data, from its first UBUS_WIRE_MIN_LEN
 * bytes: 0 when fewer are available, -1 when the header is invalid.
 */
long ubus_wire_frame_len(const uint8_t *data, size_t avail);

/*
 * Checks a complete frame of len bytes (any len, 0 included: a buffer
 * shorter than a header is refused) and indexes its attributes. Unknown
 * attributes are skipped; fixed-size ones must have their size, strings their
 * NUL and nested blobs a length that fits.
 */
bool ubus_wire_parse(const uint8_t *data, size_t len, struct ubus_wire_frame *f);

uint32_t ubus_wire_get_u32(const uint8_t *attr);
uint8_t ubus_wire_get_u8(const uint8_t *attr);
const char *ubus_wire_get_string(const uint8_t *attr);
const void *ubus_wire_payload(const uint8_t *attr);
size_t ubus_wire_payload_len(const uint8_t *attr);

/* Big-endian helpers for headers of blob attributes. */
uint32_t ubus_wire_load_be32(const void *p);
void ubus_wire_store_be32(void *p, uint32_t v);

#ifdef __cplusplus
}
#endif

#endif
