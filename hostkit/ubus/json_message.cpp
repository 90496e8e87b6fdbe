#include "json_message.h"

#include <cstdint>
#include <limits>

#include <nlohmann/json.hpp>

namespace {

// Members keep the order they have in the text.
using json = nlohmann::ordered_json;

bool add_value(blob_buf *buf, const char *name, const json &value);

bool add_members(blob_buf *buf, const json &container)
{
	if (container.is_object()) {
		for (auto &[key, value] : container.items())
			if (!add_value(buf, key.c_str(), value))
				return false;
		return true;
	}
	for (const json &value : container)
		if (!add_value(buf, "", value))
			return false;
	return true;
}

bool add_integer(blob_buf *buf, const char *name, int64_t v)
{
	if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
		return blobmsg_add_u32(buf, name, static_cast<uint32_t>(v)) == 0;
	return blobmsg_add_u64(buf, name, static_cast<uint64_t>(v)) == 0;
}

bool add_value(blob_buf *buf, const char *name, const json &value)
{
	switch (value.type()) {
	case json::value_t::object:
	case json::value_t::array: {
		void *cookie = blobmsg_open_nested(buf, name, value.is_array());
		if (!cookie || !add_members(buf, value))
			return false;
		blob_nest_end(buf, cookie);
		return true;
	}
	case json::value_t::string:
		return blobmsg_add_string(buf, name, value.get_ref<const std::string &>().c_str()) == 0;
	case json::value_t::boolean:
		return blobmsg_add_u8(buf, name, value.get<bool>()) == 0;
	case json::value_t::number_integer:
		return add_integer(buf, name, value.get<int64_t>());
	case json::value_t::number_unsigned:
		return add_integer(buf, name, static_cast<int64_t>(value.get<uint64_t>()));
	case json::value_t::number_float:
		return blobmsg_add_double(buf, name, value.get<double>()) == 0;
	case json::value_t::null:
		return blobmsg_add_field(buf, BLOBMSG_TYPE_UNSPEC, name, nullptr, 0) == 0;
	default:
		return false;
	}
}

}  // namespace

bool json_to_blobmsg(const std::string &text, blob_buf *buf)
{
	blob_buf_init(buf, 0);
	json doc = json::parse(text, nullptr, false);
	if (doc.is_discarded() || !doc.is_object())
		return false;
	return add_members(buf, doc);
}
