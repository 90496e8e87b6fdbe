// Severity parsing, line assembly and the shaping of a published line.

#include <gtest/gtest.h>

#include <stdint.h>
#include <string>
#include <vector>

#include "line_assembly.h"
#include "log_severity.h"
#include "log_shape.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

static int severity(const char *line)
{
	CaptureStderr();
	int found = extract_severity(line);
	GetCapturedStderr();
	return found;
}

TEST(ExtractSeverity, ReadsTheSecondNumberAfterTheStamp)
{
	struct {
		const char *line;
		int severity;
	} cases[] = {
		{"[10.5] 1|4| up", 4},
		{"[1234.567] 3|5| some text", 5},
		{"[1.0]3|2|x", 2},      // no blank after the bracket
		{"[1.0] 3|2", 2},       // no final bar
		{"[1e3]  0|-3|", -3},   // any float, any white space, a sign
		{"[ 7] 0|1|", 1},
	};
	for (const auto &c : cases)
		EXPECT_EQ(severity(c.line), c.severity) << c.line;
}

TEST(ExtractSeverity, UnreadableIsMinusOne)
{
	const char *lines[] = {
		"hello", "", " [1.0] 3|2|", "[abc] 1|2|", "[1.0] 3|x|", "[1.0] 3", "[1.0 3|2|",
		"3|4| some text",
	};
	for (const char *line : lines)
		EXPECT_EQ(severity(line), -1) << line;
}

struct shaped {
	bool has_timestamp;
	uint64_t timestamp;
	std::string message;
	std::string warnings;
};

static shaped shape(const std::string &line)
{
	struct log_shape s;

	CaptureStderr();
	log_shape_line(line.c_str(), &s);
	std::string warnings = GetCapturedStderr();
	return {s.has_timestamp, s.timestamp, s.message, warnings};
}

TEST(ShapeLogLine, SplitsTheStamp)
{
	const uint64_t max = UINT64_MAX;
	struct {
		const char *line;
		bool has_timestamp;
		uint64_t timestamp;
		const char *message;
	} cases[] = {
		{"[1234.567] 3|4| some text", true, 1234567, "3|4| some text"},
		{"[12] up", true, 12, "up"},
		{"[1.2.3] up", true, 12, "up"},  // only the first dot goes
		{"[abc] up", true, 0, "up"},     // present though not a number
		{"[.] up", false, 0, "up"},      // nothing left of the stamp
		{"[] 1|2| up", false, 0, "1|2| up"},
		{"[1.5]xy", true, 15, "y"},      // the character after ] is skipped
		{"[1.5] ", true, 15, ""},
		{"[1.5]", true, 15, ""},
		{"[1] a] b", true, 1, "a] b"},   // the first ] ends the stamp
		{"3|4| some text", false, 0, "3|4| some text"},
		{" [1] up", false, 0, " [1] up"},
		{"[12 up", false, 0, "[12 up"},
	};
	for (const auto &c : cases) {
		shaped s = shape(c.line);
		EXPECT_EQ(s.has_timestamp, c.has_timestamp) << c.line;
		EXPECT_EQ(s.timestamp, c.timestamp) << c.line;
		EXPECT_EQ(s.message, c.message) << c.line;
	}

	// 29 characters between the brackets are a stamp (and more than 20
	// digits saturate), 30 are not.
	std::string digits29(29, '9');
	shaped s29 = shape("[" + digits29 + "] up");
	EXPECT_TRUE(s29.has_timestamp);
	EXPECT_EQ(s29.timestamp, max);
	EXPECT_EQ(s29.message, "up");

	std::string line30 = "[" + std::string(30, '1') + "] up";
	shaped s30 = shape(line30);
	EXPECT_FALSE(s30.has_timestamp);
	EXPECT_EQ(s30.message, line30);
}

TEST(ShapeLogLine, EscapesDoubleQuotesOnly)
{
	EXPECT_EQ(shape("[1] say \"hi\" \\ \x01 \xc3\xa9\r").message,
		  "say \\\"hi\\\" \\ \x01 \xc3\xa9\r");
	EXPECT_EQ(shape("[1] \"\"").message, "\\\"\\\"");
}

TEST(ShapeLogLine, EscapedTextStaysWithinItsBuffer)
{
	const std::string warning =
		"Warning: Quote escaping failed. Message may be truncated or unescaped.\n";

	// The longest line there is, all quotes, just fits.
	std::string pairs;
	for (int i = 0; i < LINE_BUF_SIZE - 1; i++)
		pairs += "\\\"";
	shaped quotes = shape(std::string(LINE_BUF_SIZE - 1, '"'));
	EXPECT_EQ(quotes.message, pairs);
	EXPECT_EQ(quotes.warnings, "");

	// Longer text goes out unescaped: a full buffer with text left, or a
	// quote with one place left.
	for (const std::string &line : {std::string(LOG_ESCAPED_SIZE, 'a') + "\"",
					std::string(LOG_ESCAPED_SIZE - 2, 'a') + "\"b"}) {
		shaped s = shape(line);
		EXPECT_EQ(s.message, line);
		EXPECT_EQ(s.warnings, warning);
	}
}

static std::vector<std::string> assembled;

static void collect(const char *line, void *)
{
	assembled.push_back(line);
}

static void feed(const std::string &chunk)
{
	assemble_log_chunk(chunk.data(), chunk.size(), collect, nullptr);
}

TEST(AssembleLogChunk, KeepsTheFirst2047BytesOfALine)
{
	std::string longest(LINE_BUF_SIZE - 1, 'x');
	feed(longest + "\n");
	feed(longest + "yyyy");
	feed("zz\nnext\n");
	EXPECT_EQ(assembled, (std::vector<std::string>{longest, longest, "next"}));
}
