#include "scan_report.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>

#include "report_text.h"
#include "telemetry_frame.h"
#include "uci_readers.h"

int compare_rank_value(const void *a, const void *b)
{
	int32_t rank_a = static_cast<const struct ap_entry *>(a)->rank_value;
	int32_t rank_b = static_cast<const struct ap_entry *>(b)->rank_value;

	return (rank_a < rank_b) - (rank_a > rank_b);
}

static bool is_compatible(const struct ap_entry *ap)
{
	return ap->compat_code >= 1 && ap->compat_code <= 4;
}

static int64_t now_in_milliseconds(void)
{
	struct timeval tv;

	gettimeofday(&tv, NULL);
	return (int64_t)tv.tv_sec * 1000 + tv.tv_usec / 1000;
}

void report_scan(const struct ap_entry *entries, uint32_t result_count, const char *phy_ifname)
{
	struct ap_entry ranked[SCAN_MAX_RESULTS];
	int32_t compatible = 0;
	int32_t incompatible = 0;
	int32_t top = uci_get_int_value("luci_statistics", "airsift_ubus_telemetry",
					"max_top_access_points", 20);

	for (uint32_t i = 0; i < result_count && i < SCAN_MAX_RESULTS; i++) {
		if (is_compatible(&entries[i]))
			ranked[compatible++] = entries[i];
		else
			incompatible++;
	}
	if (compatible > 0)
		qsort(ranked, (size_t)compatible, sizeof(ranked[0]), compare_rank_value);

	struct blob_buf *buf = telemetry_status_begin();
	blobmsg_add_u64(buf, "timestamp", (uint64_t)now_in_milliseconds());
	blobmsg_add_string(buf, "phy_ifname", phy_ifname);
	blobmsg_add_u64(buf, "compatible_ap_count", (uint64_t)(int64_t)compatible);
	blobmsg_add_u64(buf, "incompatible_ap_count", (uint64_t)(int64_t)incompatible);

	char text[ARRAY_TEXT_SIZE];
	format_ap_array(text, sizeof(text), ranked, compatible < top ? compatible : top);
	blobmsg_add_string(buf, "top_compatible_aps", text);
	telemetry_status_end();

	int ret = telemetry_status_notify();
	if (ret == 0)
		fputs("UBus notification successfully sent.\n", stderr);
	else
		fprintf(stderr, "Failed to send UBus notification: %s\n", ubus_strerror(ret));
}
