#include "report_text.h"

#include <stdio.h>
#include <string.h>

int32_t frequency_to_channel(int32_t frequency)
{
	// The frequency comes from the queue; near INT32_MIN, f - 2407 would
	// leave the 32-bit range. The result itself always fits.
	int64_t f = frequency;

	if (f == 2484)
		return 14;
	if (f > 2483)
		return (int32_t)(f / 5 - 1000);
	return (int32_t)((f - 2407) / 5);
}

void format_report_line(char *line, size_t size, const struct ap_entry *ap)
{
	char bssid[BSSID_TEXT_SIZE];
	const uint8_t *b = ap->bssid;

	snprintf(bssid, sizeof(bssid), "%02X:%02X:%02X:%02X:%02X:%02X",
		 b[0], b[1], b[2], b[3], b[4], b[5]);
	snprintf(line, size, "%s|%d|%d|%d|%d|%d|%d|%u", bssid, ap->compat_code,
		 frequency_to_channel(ap->frequency), ap->rank_value, ap->value_a,
		 ap->value_b, ap->value_c, ap->value_d);
}

void format_ap_array(char *text, size_t size, const struct ap_entry *records, int count)
{
	size_t len = 0;

	text[len++] = '[';
	for (int i = 0; i < count; i++) {
		char line[REPORT_LINE_SIZE];
		const char *separator = i ? ", " : "";

		format_report_line(line, sizeof(line), &records[i]);
		size_t item_len = strlen(separator) + 1 + strlen(line) + 1;
		if (len + item_len + 1 > size - 1)
			break;
		len += (size_t)snprintf(text + len, size - len, "%s\"%s\"", separator, line);
	}
	text[len++] = ']';
	text[len] = '\0';
}
