// Channel numbers, report lines and the array text.

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "report_text.h"

namespace {

ap_entry record(int32_t frequency, int32_t value_a, int32_t value_b, int32_t rank_value,
		uint32_t value_d, int32_t value_c, uint8_t compat_code,
		std::vector<uint8_t> bssid)
{
	ap_entry ap{};
	ap.frequency = frequency;
	ap.value_a = value_a;
	ap.value_b = value_b;
	ap.rank_value = rank_value;
	ap.value_d = value_d;
	ap.value_c = value_c;
	ap.compat_code = compat_code;
	std::memcpy(ap.bssid, bssid.data(), sizeof(ap.bssid));
	return ap;
}

std::string line_of(const ap_entry &ap)
{
	char line[REPORT_LINE_SIZE];
	format_report_line(line, sizeof(line), &ap);
	return line;
}

std::string array_of(const std::vector<ap_entry> &records, int count, size_t size = ARRAY_TEXT_SIZE)
{
	std::vector<char> text(size, 'x');
	format_ap_array(text.data(), size, records.data(), count);
	return text.data();
}

// Every number at its longest: an 89-character line.
ap_entry longest_record()
{
	return record(INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, UINT32_MAX, INT32_MIN, 4,
		      {0xff, 0xff, 0xff, 0xff, 0xff, 0xff});
}

TEST(FrequencyToChannel, Table)
{
	const struct {
		int32_t frequency;
		int32_t channel;
	} table[] = {
		{2412, 1}, {2437, 6}, {2472, 13}, {2483, 15}, {2484, 14}, {2485, -503},
		{4920, -16}, {5180, 36}, {5825, 165}, {5955, 191}, {2400, -1}, {0, -481},
	};
	for (const auto &row : table)
		EXPECT_EQ(frequency_to_channel(row.frequency), row.channel) << row.frequency;
}

TEST(FrequencyToChannel, ExtremesAreExact)
{
	// (-2147483648 - 2407) / 5 and 2147483647 / 5 - 1000, truncating.
	EXPECT_EQ(frequency_to_channel(INT32_MIN), -429497211);
	EXPECT_EQ(frequency_to_channel(INT32_MIN + 2406), -429496729); // first to overflow
	EXPECT_EQ(frequency_to_channel(INT32_MIN + 2407), -429496729); // last that does not
	EXPECT_EQ(frequency_to_channel(INT32_MAX), 429495729);
	EXPECT_EQ(frequency_to_channel(-3), -482);
}

TEST(ReportLine, ColumnsInReportOrder)
{
	EXPECT_EQ(line_of(record(5180, 80, -95, -52, 1500, 6, 3, {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e})),
		  "02:1A:2B:3C:4D:5E|3|36|-52|80|-95|6|1500");
	EXPECT_EQ(line_of(record(2437, -1, 0, 7, UINT32_MAX, 0, 2, {0, 0, 0, 0, 0, 0x0f})),
		  "00:00:00:00:00:0F|2|6|7|-1|0|0|4294967295");
	EXPECT_EQ(line_of(longest_record()).size(), 89u);
}

TEST(ApArray, EmptyAndWorkedExample)
{
	std::vector<ap_entry> ranked = {
		record(5180, 80, -95, -52, 1500, 6, 3, {0x02, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}),
		record(2437, 40, -92, -70, 900, 20, 1, {0x02, 0, 0, 0, 0, 0x0f}),
	};
	EXPECT_EQ(array_of(ranked, 0), "[]");
	EXPECT_EQ(array_of(ranked, -5), "[]");
	EXPECT_EQ(array_of(ranked, 1), "[\"02:1A:2B:3C:4D:5E|3|36|-52|80|-95|6|1500\"]");
	EXPECT_EQ(array_of(ranked, 2),
		  "[\"02:1A:2B:3C:4D:5E|3|36|-52|80|-95|6|1500\", "
		  "\"02:00:00:00:00:0F|1|6|-70|40|-92|20|900\"]");
}

TEST(ApArray, FullTextHoldsOnlyWholeItems)
{
	std::vector<ap_entry> records(SCAN_MAX_RESULTS, longest_record());
	std::string item = "\"" + line_of(records[0]) + "\"";

	// "[" + item + 43 × (", " + item) + "]" is 4092 characters; one more
	// item would need 4185.
	std::string expected = "[" + item;
	for (int i = 1; i < 44; i++)
		expected += ", " + item;
	expected += "]";

	EXPECT_EQ(array_of(records, SCAN_MAX_RESULTS), expected);
	EXPECT_EQ(expected.size(), 4092u);
}

TEST(ApArray, ClosesRightAtTheLimit)
{
	std::vector<ap_entry> records(2, longest_record());
	std::string one = "[\"" + line_of(records[0]) + "\"]"; // 93 characters

	EXPECT_EQ(array_of(records, 2, one.size() + 1), one);
	EXPECT_EQ(array_of(records, 2, one.size()), "[]");
	EXPECT_EQ(array_of(records, 2, 3), "[]");
}

} // namespace
