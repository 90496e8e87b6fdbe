// The scan-result message as the producer posts it on the queue: host byte
// order, natural alignment, a type word and a 10504-byte text of a record
// count and 64 record slots; and the queue's key, ftok(SCAN_KEY_PATH,
// SCAN_KEY_PROJECT). Plain C as well, for the producers written in C.
#pragma once

#include <assert.h>
#include <stddef.h>
#include <stdint.h>

#define SCAN_KEY_PATH "/collectd/vornel_scan_result"
#define SCAN_KEY_PROJECT 8628
#define SCAN_RESULT_TYPE 1L
#define SCAN_MAX_RESULTS UINT32_C(64)
#define SCAN_IFNAME_SIZE ((size_t)101)
#define SCAN_TEXT_SIZE ((size_t)10504)

struct ap_entry {
	int32_t frequency;   // MHz
	int32_t value_a;
	int32_t value_b;
	int32_t rank_value;  // higher ranks first
	uint32_t value_d;
	int32_t value_c;
	uint8_t compat_code; // 1 to 4: compatible
	uint8_t unused[32];
	uint8_t bssid[6];
	char ifname[SCAN_IFNAME_SIZE]; // NUL-terminated by a well-behaved producer
};

struct scan_result_msg {
	long mtype;
	uint32_t result_count;
	struct ap_entry entries[SCAN_MAX_RESULTS];
	uint8_t padding[4];
};

static_assert(sizeof(struct ap_entry) == 164, "ap_entry is 164 bytes");
static_assert(offsetof(struct ap_entry, value_d) == 16, "value_d at 16");
static_assert(offsetof(struct ap_entry, value_c) == 20, "value_c at 20");
static_assert(offsetof(struct ap_entry, compat_code) == 24, "compat_code at 24");
static_assert(offsetof(struct ap_entry, bssid) == 57, "bssid at 57");
static_assert(offsetof(struct ap_entry, ifname) == 63, "ifname at 63");
static_assert(offsetof(struct scan_result_msg, entries) == sizeof(long) + 4, "slots follow the count");
static_assert(sizeof(struct scan_result_msg) == sizeof(long) + SCAN_TEXT_SIZE, "text is 10504 bytes");
