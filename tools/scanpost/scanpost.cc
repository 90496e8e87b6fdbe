// scanpost: posts scan-result messages on the scan-result queue, as the
// scanner would, from a JSON description on standard input. It can also
// post what a broken or hostile producer would, for tests.
//
// Input: one message object, or an array of them. Every member is optional.
//
//   {
//     "type": 1,                 message type
//     "ifname": "wlan0",         written into every record that has none
//     "result_count": 3,         default: the number of records
//     "text_length": 10504,      the text is cut or zero-padded to this
//     "records": [
//       { "frequency": 2437, "value_a": 40, "value_b": -92, "rank_value": -70,
//         "value_d": 900, "value_c": 20, "compat_code": 1,
//         "bssid": "02:00:00:00:00:0F", "ifname": "wlan0" }
//     ]
//   }
//
// Numbers are written in host byte order as their low 32 bits (8 for
// compat_code), so -1 and 4294967295 both fit. An ifname of 101 bytes has
// no room for its NUL and is written without one.

#include <sys/ipc.h>
#include <sys/msg.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

constexpr const char *key_path = "/collectd/vornel_scan_result";
constexpr int key_project = 8628;

constexpr size_t text_size = 10504;
constexpr size_t record_size = 164;
constexpr size_t ifname_size = 101;

// The 32-bit fields of a record and their offsets.
constexpr struct {
	const char *name;
	size_t at;
} number_fields[] = {
	{"frequency", 0}, {"value_a", 4},  {"value_b", 8},
	{"rank_value", 12}, {"value_d", 16}, {"value_c", 20},
};
constexpr size_t compat_code_at = 24;
constexpr size_t bssid_at = 57;
constexpr size_t ifname_at = 63;

void put_u32(std::vector<uint8_t> &text, size_t at, uint32_t value)
{
	std::memcpy(&text[at], &value, sizeof(value));
}

void put_bssid(std::vector<uint8_t> &text, size_t at, const std::string &bssid)
{
	unsigned int b[6];
	char rest;
	if (std::sscanf(bssid.c_str(), "%x:%x:%x:%x:%x:%x%c", &b[0], &b[1], &b[2], &b[3], &b[4],
			&b[5], &rest) != 6)
		throw std::runtime_error("bssid must be six hex bytes: " + bssid);
	for (int i = 0; i < 6; i++)
		text[at + i] = static_cast<uint8_t>(b[i]);
}

void put_record(std::vector<uint8_t> &text, size_t at, const json &record,
		const std::string &default_ifname)
{
	for (const auto &field : number_fields)
		put_u32(text, at + field.at, static_cast<uint32_t>(record.value(field.name, int64_t{0})));
	text[at + compat_code_at] = static_cast<uint8_t>(record.value("compat_code", int64_t{0}));
	if (record.contains("bssid"))
		put_bssid(text, at + bssid_at, record["bssid"].get<std::string>());

	std::string ifname = record.value("ifname", default_ifname);
	if (ifname.size() > ifname_size)
		throw std::runtime_error("ifname longer than 101 bytes: " + ifname);
	std::memcpy(&text[at + ifname_at], ifname.data(), ifname.size());
}

// The message as msgsnd takes it: the type word, then the text.
std::vector<uint8_t> build_message(const json &description, size_t &text_length)
{
	const json records = description.value("records", json::array());
	std::string ifname = description.value("ifname", std::string());
	uint32_t count = static_cast<uint32_t>(
		description.value("result_count", static_cast<int64_t>(records.size())));

	std::vector<uint8_t> text(std::max(text_size, 4 + records.size() * record_size));
	put_u32(text, 0, count);
	for (size_t i = 0; i < records.size(); i++)
		put_record(text, 4 + i * record_size, records[i], ifname);

	text_length = description.value("text_length", text_size);
	text.resize(text_length);

	long type = description.value("type", 1L);
	std::vector<uint8_t> message(sizeof(long) + text_length);
	std::memcpy(message.data(), &type, sizeof(type));
	std::memcpy(message.data() + sizeof(long), text.data(), text_length);
	return message;
}

} // namespace

int main()
{
	try {
		json input = json::parse(std::cin);
		if (!input.is_array())
			input = json::array({input});

		// The daemon uses whatever ftok gives, -1 for a missing path; so do we.
		key_t key = ftok(key_path, key_project);
		int queue = msgget(key, IPC_CREAT | 0666);
		if (queue < 0) {
			std::fprintf(stderr, "scanpost: msgget: %s\n", std::strerror(errno));
			return 1;
		}
		for (const json &description : input) {
			size_t text_length = 0;
			std::vector<uint8_t> message = build_message(description, text_length);
			if (msgsnd(queue, message.data(), text_length, IPC_NOWAIT) != 0) {
				std::fprintf(stderr, "scanpost: msgsnd of %zu bytes: %s\n", text_length,
					     std::strerror(errno));
				return 1;
			}
		}
	} catch (const std::exception &e) {
		std::fprintf(stderr, "scanpost: %s\n", e.what());
		return 2;
	}
	return 0;
}
