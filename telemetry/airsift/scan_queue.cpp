#include "scan_queue.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/msg.h>

extern "C" {
#include <libubox/uloop.h>
}

#include "scan_message.h"
#include "scan_report.h"
#include "uci_readers.h"

constexpr int SCAN_POLL_INTERVAL_MS = 200;
// The most messages one tick takes: writers that keep the queue full must
// not hold the loop, which serves the bus and the stop between ticks.
constexpr int SCAN_DRAIN_BATCH = 16;

static int scan_queue_id;
static struct uloop_timeout scan_poll_timer;

bool scan_queue_open(void)
{
	// A missing key path gives the key -1, and that queue serves as well.
	key_t key = ftok(SCAN_KEY_PATH, SCAN_KEY_PROJECT);

	scan_queue_id = msgget(key, IPC_CREAT | 0666);
	if (scan_queue_id < 0) {
		fprintf(stderr, "Failed to connect to IPC queue: %s\n", strerror(errno));
		return false;
	}
	return true;
}

// The slot-0 ifname names a uci section. Anything but a plain name could
// steer the lookup elsewhere ("." separates path parts, "@type[n]" picks
// sections), and the queue is writable by every local user.
static bool is_plain_section_name(const char *name)
{
	if (!*name)
		return false;
	for (const char *p = name; *p; p++) {
		char c = *p;
		bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
			     (c >= '0' && c <= '9') || c == '_';
		if (!plain)
			return false;
	}
	return true;
}

// The records that the received text holds whole, at most 64.
static uint32_t whole_records(size_t text_len)
{
	size_t whole = (text_len - sizeof(uint32_t)) / sizeof(struct ap_entry);

	return whole < SCAN_MAX_RESULTS ? (uint32_t)whole : SCAN_MAX_RESULTS;
}

void scan_queue_handle_message(const struct scan_result_msg *message, size_t text_len)
{
	if (text_len < sizeof(message->result_count)) {
		fprintf(stderr, "Scan result text of %zu bytes too short, dropped.\n", text_len);
		return;
	}

	uint32_t announced = message->result_count;
	if (announced == 0)
		return;
	fprintf(stderr, "Received %u scan results.\n", announced);

	uint32_t usable = whole_records(text_len);
	if (usable > announced)
		usable = announced;
	if (usable < announced)
		fprintf(stderr, "Scan result count %u too large, using %u records.\n", announced, usable);
	if (usable == 0)
		return;

	// Read as at most its first 100 bytes, NUL or not.
	char ifname[SCAN_IFNAME_SIZE];
	memcpy(ifname, message->entries[0].ifname, SCAN_IFNAME_SIZE - 1);
	ifname[SCAN_IFNAME_SIZE - 1] = '\0';

	char *phy_ifname = NULL;
	if (is_plain_section_name(ifname))
		phy_ifname = uci_get_string_value("vornel_cur_wireless", ifname, "wifi_iface");
	if (!phy_ifname) {
		fprintf(stderr, "Failed to get physical wireless interface name for %s\n", ifname);
		return;
	}
	report_scan(message->entries, usable, phy_ifname);
	free(phy_ifname);
}

// A text longer than the message was refused and still heads the queue;
// take it off truncated so it cannot block every later drain.
static bool drop_oversized_message(struct scan_result_msg *message)
{
	ssize_t received = msgrcv(scan_queue_id, message, SCAN_TEXT_SIZE, SCAN_RESULT_TYPE,
				  IPC_NOWAIT | MSG_NOERROR);
	if (received < 0)
		return false;
	fprintf(stderr, "Scan result text longer than %zu bytes, dropped.\n", SCAN_TEXT_SIZE);
	return true;
}

static void poll_scan_queue(struct uloop_timeout *)
{
	struct scan_result_msg message;
	int taken;

	// A stop ends the drain between two messages.
	for (taken = 0; taken < SCAN_DRAIN_BATCH && !uloop_cancelled; taken++) {
		ssize_t received = msgrcv(scan_queue_id, &message, SCAN_TEXT_SIZE,
					  SCAN_RESULT_TYPE, IPC_NOWAIT);
		if (received < 0 && errno == E2BIG) {
			if (drop_oversized_message(&message))
				continue;
			break;
		}
		if (received <= 0)
			break;
		scan_queue_handle_message(&message, (size_t)received);
	}
	// After a whole batch more may wait: the next one comes at once, once
	// the loop has looked at its other events.
	uloop_timeout_set(&scan_poll_timer, taken == SCAN_DRAIN_BATCH ? 0 : SCAN_POLL_INTERVAL_MS);
}

void scan_queue_start_polling(void)
{
	scan_poll_timer.cb = poll_scan_queue;
	uloop_timeout_set(&scan_poll_timer, SCAN_POLL_INTERVAL_MS);
}

void scan_queue_stop_polling(void)
{
	uloop_timeout_cancel(&scan_poll_timer);
}
