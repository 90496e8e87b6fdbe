// The texts of a scan report: channel numbers, report lines and the array
// text that lists the best access points.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "scan_message.h"

constexpr size_t BSSID_TEXT_SIZE = 18;
constexpr size_t REPORT_LINE_SIZE = 256;
constexpr size_t ARRAY_TEXT_SIZE = 4096;

int32_t frequency_to_channel(int32_t frequency);

// "bssid|code|channel|rank|a|b|c|d" for one access point.
void format_report_line(char *line, size_t size, const struct ap_entry *ap);

// "[" followed by the report lines of the first count records, each in
// double quotes, separated by ", ", and "]". Stops before an item that
// would leave no room for the closing bracket, so the text is always a
// complete list of whole items. size must be at least 3.
void format_ap_array(char *text, size_t size, const struct ap_entry *records, int count);
