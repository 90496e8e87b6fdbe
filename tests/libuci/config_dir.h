// A configuration directory of its own per test, and lookups the way the
// daemons make them: a fresh context, a zeroed record, a 128-byte path.
#pragma once

#include <string>
#include <vector>

#include <uci.h>

class ConfigDir {
public:
	ConfigDir();
	~ConfigDir();
	ConfigDir(const ConfigDir &) = delete;
	ConfigDir &operator=(const ConfigDir &) = delete;

	const char *path() const { return dir_.c_str(); }
	void write(const std::string &package, const std::string &text) const;

private:
	std::string dir_;
};

class Lookup {
public:
	Lookup(const ConfigDir &dir, const std::string &path, bool extended = true);
	~Lookup();
	Lookup(const Lookup &) = delete;
	Lookup &operator=(const Lookup &) = delete;

	// The option's text, or "<none>" without a plain option.
	std::string string() const;
	std::vector<std::string> list() const;
	std::string error() const;

	struct uci_context *ctx;
	struct uci_ptr ptr;
	char path[128];
	int rc;
};
