#pragma once
// The simulated GPIO chips behind the libgpiod calls: loaded once from the
// description file named by GPIOSIM_CHIPS, with every call traced to the
// file named by GPIOSIM_TRACE (see README.md for both formats).

#include <map>
#include <string>
#include <vector>

namespace gpiosim {

struct line_model {
	std::string name;
	bool output = false;
	bool active_low = false;
	bool active = false; // logical value
	bool changed = false; // touched by a request; reported at exit
};

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
