/*
 * scan-send - posts scan-result messages on the scan queue, as the scanner
 * does, and what a broken or hostile producer would, from a plain-text
 * description on standard input, one line at a time:
 *
 *   ap BSSID FREQUENCY VALUE_A VALUE_B RANK_VALUE VALUE_D VALUE_C COMPAT_CODE
 *       adds a record to the message being built (at most 64)
 *   name IFNAME
 *       the last record's interface name: the rest of the line as it is,
 *       empty or with spaces; one of 101 bytes is written without its NUL
 *   type N | count N | length N
 *       the message's type (default 1), its record count (default: the
 *       records added) and its text's length (default 10504, at most
 *       65536), which cuts the text or pads it with zeros
 *   post IFNAME [COUNT]
 *       posts the message COUNT times (default 1), with IFNAME in each
 *       record that has no name of its own, waiting while the queue is
 *       full, then starts a new one
 *
 * Numbers are decimal or 0x hex and are written as their low 32 bits (8
 * for COMPAT_CODE) in host byte order: -1 and 4294967295 are the same.
 * The queue is joined as airsift joins it. The first refused msgsnd ends
 * it with status 1 and one line on standard error:
 *   scan-send: msgsnd of <length> bytes: <strerror> (errno <n>)
 * A line it cannot read ends it with status 2.
 */
#include <errno.h>
#include <stdbool.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/msg.h>

#include "scan_message.h"

#define TEXT_MAX 65536
#define LINE_MAX_BYTES 256

static union {
	struct scan_result_msg scan;
	struct {
		long mtype;
		char text[TEXT_MAX];
	} raw;
} message;
static uint32_t records;
static bool named[SCAN_MAX_RESULTS];
static bool count_given;
static size_t text_length = SCAN_TEXT_SIZE;

// The next number of *text as its low 32 bits; moves *text past it.
static bool take_number(char **text, uint32_t *value)
{
	char *end;
	long long number = strtoll(*text, &end, 0);

	if (end == *text)
		return false;
	*value = (uint32_t)number;
	*text = end;
	return true;
}

static bool add_record(char *text)
{
	struct ap_entry *entry = &message.scan.entries[records];
	unsigned int b[6];
	uint32_t n[7];
	int end = 0;

	if (records == SCAN_MAX_RESULTS ||
	    sscanf(text, "%x:%x:%x:%x:%x:%x%n", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &end) != 6 ||
	    !end)
		return false;
	text += end;
	for (int i = 0; i < 7; i++)
		if (!take_number(&text, &n[i]))
			return false;
	for (int i = 0; i < 6; i++)
		entry->bssid[i] = (uint8_t)b[i];
	// The six 32-bit numbers open the record, in the line's order.
	memcpy(entry, n, 6 * sizeof(n[0]));
	entry->compat_code = (uint8_t)n[6];
	records++;
	return true;
}

static bool name_record(const char *name)
{
	size_t length = strcspn(name, "\n");

	if (!records || length > SCAN_IFNAME_SIZE)
		return false;
	memcpy(message.scan.entries[records - 1].ifname, name, length);
	named[records - 1] = true;
	return true;
}

// type, count or length.
static bool set_field(const char *field, char *text)
{
	uint32_t value;

	if (!take_number(&text, &value))
		return false;
	if (!strcmp(field, "type")) {
		message.scan.mtype = (int32_t)value;
	} else if (!strcmp(field, "count")) {
		message.scan.result_count = value;
		count_given = true;
	} else if (!strcmp(field, "length") && value <= TEXT_MAX) {
		text_length = value;
	} else {
		return false;
	}
	return true;
}

static void start_message(void)
{
	memset(&message, 0, sizeof(message));
	memset(named, 0, sizeof(named));
	message.scan.mtype = SCAN_RESULT_TYPE;
	records = 0;
	count_given = false;
	text_length = SCAN_TEXT_SIZE;
}

static bool post(const char *ifname, long count)
{
	int queue = msgget(ftok(SCAN_KEY_PATH, SCAN_KEY_PROJECT), IPC_CREAT | 0666);

	if (queue < 0) {
		perror("scan-send: msgget");
		return false;
	}
	for (uint32_t i = 0; i < records; i++)
		if (!named[i])
			memcpy(message.scan.entries[i].ifname, ifname, strlen(ifname) + 1);
	if (!count_given)
		message.scan.result_count = records;
	for (long n = 0; n < count; n++) {
		if (msgsnd(queue, &message, text_length, 0) != 0) {
			int err = errno;
			fprintf(stderr, "scan-send: msgsnd of %zu bytes: %s (errno %d)\n", text_length,
				strerror(err), err);
			return false;
		}
	}
	start_message();
	return true;
}

static int post_line(const char *text)
{
	char ifname[SCAN_IFNAME_SIZE];
	long count = 1;

	if (sscanf(text, "%100s %ld", ifname, &count) < 1)
		return 2;
	return post(ifname, count) ? 0 : 1;
}

// 0 when the line was taken, 1 for a refused post, 2 for a line it cannot read.
static int take_line(char *line)
{
	char keyword[8];
	int at = 0;

	if (line[0] == '\n' || line[0] == '#')
		return 0;
	if (sscanf(line, "%7s%n", keyword, &at) != 1 || line[at] != ' ')
		return 2;
	char *rest = line + at + 1;
	if (!strcmp(keyword, "ap"))
		return add_record(rest) ? 0 : 2;
	if (!strcmp(keyword, "name"))
		return name_record(rest) ? 0 : 2;
	if (!strcmp(keyword, "post"))
		return post_line(rest);
	return set_field(keyword, rest) ? 0 : 2;
}

int main(void)
{
	char line[LINE_MAX_BYTES];

	start_message();
	while (fgets(line, sizeof(line), stdin)) {
		int status = take_line(line);

		if (status == 2)
			fprintf(stderr, "scan-send: cannot read: %s", line);
		if (status)
			return status;
	}
	return 0;
}
