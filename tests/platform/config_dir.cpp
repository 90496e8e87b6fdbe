#include "config_dir.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

ConfigDir::ConfigDir()
{
	std::string tmpl = (std::filesystem::temp_directory_path() / "platform-uci-XXXXXX").string();
	if (!mkdtemp(tmpl.data()))
		throw std::runtime_error("mkdtemp failed");
	dir_ = tmpl;
}

ConfigDir::~ConfigDir()
{
	std::error_code ignored;
	std::filesystem::remove_all(dir_, ignored);
}

void ConfigDir::write(const std::string &package, const std::string &text) const
{
	std::ofstream out(dir_ + "/" + package, std::ios::binary | std::ios::trunc);
	out << text;
}

Lookup::Lookup(const ConfigDir &dir, const std::string &text)
{
	ctx = uci_alloc_context();
	if (!ctx || uci_set_confdir(ctx, dir.path()) != UCI_OK ||
	    uci_set_savedir(ctx, dir.save_path().c_str()) != UCI_OK)
		throw std::runtime_error("no uci context");
	memset(&ptr, 0, sizeof(ptr));
	snprintf(path, sizeof(path), "%s", text.c_str());
	rc = uci_lookup_ptr(ctx, &ptr, path, true);
}

Lookup::~Lookup()
{
	uci_free_context(ctx);
}

std::string Lookup::string() const
{
	if (!ptr.o || ptr.o->type != UCI_TYPE_STRING)
		return "<none>";
	return ptr.o->v.string;
}
