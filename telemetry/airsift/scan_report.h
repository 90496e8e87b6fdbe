// Ranks one scan's compatible access points and publishes the scan report.
#pragma once

#include <stdint.h>

#include "scan_message.h"

// The qsort order of the report: the higher rank_value first.
int compare_rank_value(const void *a, const void *b);

// Publishes the "airsift" notification for the first result_count (1 to
// 64) records of a scan taken on phy_ifname.
void report_scan(const struct ap_entry *entries, uint32_t result_count, const char *phy_ifname);
