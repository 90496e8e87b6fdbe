// linetap's log stream: the input arrives in reads of sizes the fuzzer
// picks (1 to 256 bytes, as one read returns at most); the lines go through
// assembly, the severity filter, shaping, quote escaping and the
// notification. The daemon reads its threshold from uci for every read;
// here it is read once an input, as loading the package would take most of
// the run, and the uci readers have tests of their own.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "line_assembly.h"
#include "log_intake.h"
#include "uci_readers.h"

static const char *const config_files[][2] = {
	{ "luci_statistics",
	  "config statistics 'linetap_ubus_telemetry'\n"
	  "\toption min_severity '4'\n" },
};

// The daemon's object, notification type and section; its messages are
// for a broker and signals, which the run has none of.
static const struct telemetry_daemon linetap = {
	"telemetry_linetap", "syslog", "log", "", "", "", "", "", "",
};

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	fuzz_config_dir(config_files, 1);
	fuzz_telemetry_start(&linetap);
	fuzz_quiet_stderr();
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	// Read sizes come from the end of the input, the stream from its start.
	FuzzedDataProvider input(data, size);
	int threshold = uci_get_int("luci_statistics", "linetap_ubus_telemetry", "min_severity", 4);

	while (input.remaining_bytes() > 0) {
		size_t want = input.ConsumeIntegralInRange<size_t>(1, 256);
		std::vector<char> chunk = input.ConsumeBytes<char>(want);

		if (chunk.empty())
			break;
		assemble_log_chunk(chunk.data(), chunk.size(), log_intake_line_cb, &threshold);
	}
	// The line buffer outlives the input: end the partial line so that the
	// next input starts afresh.
	assemble_log_chunk("\n", 1, log_intake_line_cb, &threshold);
	return 0;
}
