// JSON text from the command line as a blobmsg message.
#pragma once

#include <string>

extern "C" {
#include <libubox/blobmsg.h>
}

// Fills buf (initialised here) with the members of the JSON object in text.
// Integers become INT32 when they fit and INT64 otherwise, booleans BOOL,
// null an empty UNSPEC field. False when text is not a JSON object.
bool json_to_blobmsg(const std::string &text, blob_buf *buf);
