// fuzz_support: see fuzz_support.h.
#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <uci.h>

static std::string config_dir;

static void remove_config_dir()
{
	std::error_code ignored;
	std::filesystem::remove_all(config_dir, ignored);
}

std::string fuzz_config_dir(const char *const files[][2], int count)
{
	char folder[] = "/tmp/apsuite-fuzz-XXXXXX";
	if (!mkdtemp(folder))
		abort();
	config_dir = folder;
	atexit(remove_config_dir);
	for (int i = 0; i < count; i++)
		std::ofstream(config_dir + "/" + files[i][0]) << files[i][1];
	return config_dir;
}

// The readers allocate their own contexts with the default directory;
// the targets are linked with --wrap=uci_alloc_context, so those
// allocations land here and read the run's folder instead.
extern "C" struct uci_context *__real_uci_alloc_context(void);

extern "C" struct uci_context *__wrap_uci_alloc_context(void)
{
	struct uci_context *ctx = __real_uci_alloc_context();

	if (ctx && !config_dir.empty() && uci_set_confdir(ctx, config_dir.c_str()) != UCI_OK) {
		uci_free_context(ctx);
		return nullptr;
	}
	return ctx;
}

void fuzz_quiet_stderr()
{
	if (getenv("APSUITE_FUZZ_OUTPUT"))
		return;
	// Only the stdio stream: descriptor 2 stays for the reports.
	FILE *null = fopen("/dev/null", "w");
	if (null)
		stderr = null;
}
