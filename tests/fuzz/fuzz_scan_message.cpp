// airsift's scan-result message, as a tick handles it after msgrcv: the
// input is the received text (its length is what msgrcv returned), laid
// over a message buffer that the tick reuses without clearing; then the
// interface lookup in uci, the ranking and the report. The part of the
// buffer the input does not fill is poisoned, so reading what was not
// received is a finding.
#include <sanitizer/asan_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "scan_queue.h"

static const char *const config_files[][2] = {
	{ "luci_statistics",
	  "config statistics 'airsift_ubus_telemetry'\n"
	  "\toption max_top_access_points '40'\n" },
	{ "vornel_cur_wireless",
	  "config wifi-iface 'wlan0'\n\toption wifi_iface 'phy0'\n"
	  "config wifi-iface 'wlan1'\n\toption wifi_iface 'phy1'\n"
	  "config wifi-iface 'wlan2'\n\tlist wifi_iface 'phy2'\n" },
};

// The daemon's object, notification type and section; its messages are
// for a broker and signals, which the run has none of.
static const struct telemetry_daemon airsift = {
	"telemetry_airsift", "airsift", "wireless_scan", "", "", "", "", "", "",
};

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	fuzz_config_dir(config_files, 2);
	fuzz_telemetry_start(&airsift);
	fuzz_quiet_stderr();
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	// msgrcv never returns 0 bytes to the handler, nor more than the text.
	static struct scan_result_msg message;

	if (size == 0 || size > SCAN_TEXT_SIZE)
		return -1;
	uint8_t *text = (uint8_t *) &message.result_count;
	message.mtype = SCAN_RESULT_TYPE;
	memcpy(text, data, size);
	ASAN_POISON_MEMORY_REGION(text + size, SCAN_TEXT_SIZE - size);
	scan_queue_handle_message(&message, size);
	ASAN_UNPOISON_MEMORY_REGION(text + size, SCAN_TEXT_SIZE - size);
	return 0;
}
