#pragma once
// The simulated GPIO chips behind the libgpiod calls: loaded once from the
// description file named by GPIOSIM_CHIPS, with every call traced to the
// file named by GPIOSIM_TRACE (see README.md for both formats).

#include <map>
#include <string>
#include <vector>

namespace gpiosim {

// A line as the kernel keeps it. The level is the physical one: active-low
// only belongs to a request, and the kernel clears it on release.
struct line_model {
	std::string name;
	bool output = false;
	bool active_low = false;
	bool high = false;
	bool pull_up = false; // gpio-sim: the level a released line falls back to
	std::string consumer; // empty while the line is free
	bool changed = false; // touched by a request; reported at exit

	bool active() const { return high != active_low; }
};

// Appends the line's state to the trace as "<kind> <path> <offset> ...".
void trace_line(const char *kind, const std::string &path, size_t offset, const line_model &line);

struct chip_model {
	std::string path;
	int open_errno = 0; // present but cannot be opened
	std::vector<line_model> lines;
};

// Null when no chip of that path was described.
chip_model *find_chip(const std::string &path);

// The errno the description asks `call` to fail with, or 0.
int injected_failure(const char *call);

// Appends one line to the trace.
void trace(const std::string &line);

// errno as its symbolic name ("ENOENT").
std::string errno_name(int error);

// Live objects handed out to the caller, each with a trace name such as
// "chip#1". Calls on anything else are traced as misuse.
std::string adopt(const void *object, const char *kind);
bool is_live(const void *object, const char *kind, const char *call);
std::string name_of(const void *object);
void forget(const void *object);

} // namespace gpiosim
