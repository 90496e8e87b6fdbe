// A configuration folder of its own per test, and lookups the way the
// daemons make them: a fresh context, a zeroed record, a 128-byte path.
#pragma once

#include <string>

#include <uci.h>

class ConfigDir {
public:
	ConfigDir();
	~ConfigDir();
	ConfigDir(const ConfigDir &) = delete;
	ConfigDir &operator=(const ConfigDir &) = delete;

	const char *path() const { return dir_.c_str(); }
	// Where a context of this folder keeps its uncommitted changes.
	std::string save_path() const { return dir_ + "/.uci"; }
	void write(const std::string &package, const std::string &text) const;

private:
	std::string dir_;
};

// The machine's own folder of uncommitted changes (/tmp/.uci) is read too,
// for any package of the same name: the tests' packages are named so that
// no machine has changes for them.
class Lookup {
public:
	Lookup(const ConfigDir &dir, const std::string &path);
	~Lookup();
	Lookup(const Lookup &) = delete;
	Lookup &operator=(const Lookup &) = delete;

	// The option's text, or "<none>" without a plain option.
	std::string string() const;

	struct uci_context *ctx;
	struct uci_ptr ptr;
	char path[128];
	int rc;
};
