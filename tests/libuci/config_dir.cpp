#include "config_dir.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

ConfigDir::ConfigDir()
{
	std::string tmpl = (std::filesystem::temp_directory_path() / "libuci-XXXXXX").string();
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

Lookup::Lookup(const ConfigDir &dir, const std::string &text, bool extended)
{
	ctx = uci_alloc_context();
	if (!ctx || uci_set_confdir(ctx, dir.path()) != UCI_OK)
		throw std::runtime_error("no uci context");
	memset(&ptr, 0, sizeof(ptr));
	snprintf(path, sizeof(path), "%s", text.c_str());
	rc = uci_lookup_ptr(ctx, &ptr, path, extended);
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

std::vector<std::string> Lookup::list() const
{
	std::vector<std::string> values;
	struct uci_element *e;

	if (!ptr.o || ptr.o->type != UCI_TYPE_LIST)
		return values;
	uci_foreach_element(&ptr.o->v.list, e)
		values.push_back(e->name);
	return values;
}

std::string Lookup::error() const
{
	char *text = nullptr;
	uci_get_errorstr(ctx, &text, "lookup");
	std::string result = text ? text : "";
	free(text);
	return result;
}
