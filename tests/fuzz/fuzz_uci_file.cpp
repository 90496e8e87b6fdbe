// uci package files: the input is the file "fz" of a configuration
// directory; it is read and then looked up the ways the daemons and
// other readers do: every option of every section by name and by
// position (@type[n], @type[-1]), and, when the file's first line is a
// comment "#@<path>", that path as well.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <uci.h>

#include "fuzz_support.h"

static std::string file_path;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	static const char *const none[][2] = {};
	file_path = fuzz_config_dir(none, 0) + "/fz";
	fuzz_quiet_stderr();
	return 0;
}

// One lookup as the daemons make it: a fresh context, a zeroed record and
// the path in a 128-byte buffer that the lookup may write into.
static void look_up(const std::string &text)
{
	struct uci_context *ctx = uci_alloc_context();
	struct uci_ptr ptr;
	char path[128];

	if (!ctx)
		return;
	memset(&ptr, 0, sizeof(ptr));
	snprintf(path, sizeof(path), "%s", text.c_str());
	if (uci_lookup_ptr(ctx, &ptr, path, true) == UCI_OK && ptr.o && ptr.o->type == UCI_TYPE_STRING)
		(void) strlen(ptr.o->v.string);
	uci_free_context(ctx);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	FILE *f = fopen(file_path.c_str(), "w");
	if (!f || fwrite(data, 1, size, f) != size || fclose(f))
		return 0;

	std::string text(reinterpret_cast<const char *>(data), size);
	if (text.rfind("#@", 0) == 0)
		look_up(text.substr(2, text.find('\n') - 2));

	// The paths to look up, from what the file turned out to hold.
	std::vector<std::string> paths = { "fz", "fz.@t[0].v", "fz.@t[-1]", "fz.s.v" };
	struct uci_context *ctx = uci_alloc_context();
	struct uci_ptr ptr;
	char whole[] = "fz";

	memset(&ptr, 0, sizeof(ptr));
	if (ctx && uci_lookup_ptr(ctx, &ptr, whole, true) == UCI_OK && ptr.p) {
		struct uci_element *se, *oe;
		int n = 0;
		uci_foreach_element(&ptr.p->sections, se) {
			struct uci_section *s = uci_to_section(se);
			std::string by_name = std::string("fz.") + se->name;
			std::string by_place = "fz.@" + std::string(s->type) + "[" + std::to_string(n++) + "]";
			paths.push_back(by_name);
			paths.push_back(by_place);
			uci_foreach_element(&s->options, oe) {
				paths.push_back(by_name + "." + oe->name);
				paths.push_back(by_place + "." + oe->name);
			}
		}
	}
	uci_free_context(ctx);
	// Each lookup reads the file again; these reach every kind of path.
	if (paths.size() > 16)
		paths.resize(16);
	for (const std::string &path : paths)
		look_up(path);
	return 0;
}
