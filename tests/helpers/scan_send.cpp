// scan-send - posts scan-result messages on the scan queue, as the scanner
// does, from a plain-text description on standard input. Small enough for
// the device: pinrig's C subset, no C++ runtime.
//
//   ap BSSID FREQUENCY VALUE_A VALUE_B RANK_VALUE VALUE_D VALUE_C COMPAT_CODE
//       adds a record to the message being built (at most 64)
//   post IFNAME [COUNT]
//       posts that message COUNT times (default 1) with IFNAME in every
//       record, waiting while the queue is full, then starts a new one
//
// Each message is the full 10504-byte text. The first refused msgsnd ends
// it with status 1 and one line on standard error:
//   scan-send: msgsnd of 10504 bytes: <strerror> (errno <n>)
// A line it cannot read ends it with status 2.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/msg.h>

#include "scan_message.h"

static const char scan_key_path[] = "/collectd/vornel_scan_result";
constexpr int SCAN_KEY_PROJECT = 8628;

static struct scan_result_msg message;

static bool add_record(const char *text)
{
	if (message.result_count == SCAN_MAX_RESULTS)
		return false;
	struct ap_entry *entry = &message.entries[message.result_count];
	unsigned int b[6];
	unsigned int compat;
	if (sscanf(text, "ap %x:%x:%x:%x:%x:%x %d %d %d %d %u %d %u", &b[0], &b[1], &b[2], &b[3],
		   &b[4], &b[5], &entry->frequency, &entry->value_a, &entry->value_b,
		   &entry->rank_value, &entry->value_d, &entry->value_c, &compat) != 13)
		return false;
	for (int i = 0; i < 6; i++)
		entry->bssid[i] = (uint8_t)b[i];
	entry->compat_code = (uint8_t)compat;
	message.result_count++;
	return true;
}

// Posts the message count times; the queue is joined as airsift joins it.
static bool post(const char *ifname, long count)
{
	int queue = msgget(ftok(scan_key_path, SCAN_KEY_PROJECT), IPC_CREAT | 0666);
	if (queue < 0) {
		perror("scan-send: msgget");
		return false;
	}
	size_t length = strlen(ifname) + 1; // at most 101, as sscanf reads it
	for (uint32_t i = 0; i < message.result_count; i++)
		memcpy(message.entries[i].ifname, ifname, length);
	message.mtype = SCAN_RESULT_TYPE;
	for (long n = 0; n < count; n++) {
		if (msgsnd(queue, &message, SCAN_TEXT_SIZE, 0) != 0) {
			int err = errno;
			fprintf(stderr, "scan-send: msgsnd of %zu bytes: %s (errno %d)\n",
				SCAN_TEXT_SIZE, strerror(err), err);
			return false;
		}
	}
	memset(&message, 0, sizeof(message));
	return true;
}

int main(void)
{
	char text[256];
	while (fgets(text, sizeof(text), stdin)) {
		char ifname[SCAN_IFNAME_SIZE];
		long count = 1;
		if (!strncmp(text, "ap ", 3)) {
			if (!add_record(text)) {
				fprintf(stderr, "scan-send: bad record: %s", text);
				return 2;
			}
		} else if (sscanf(text, "post %100s %ld", ifname, &count) >= 1) {
			if (!post(ifname, count))
				return 1;
		} else if (text[0] != '\n' && text[0] != '#') {
			fprintf(stderr, "scan-send: unknown line: %s", text);
			return 2;
		}
	}
	return 0;
}
