#include "world.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <nlohmann/json.hpp>

namespace gpiosim {
namespace {

struct live_object {
	std::string kind;
	std::string name;
};

struct world {
	bool loaded = false;
	std::map<std::string, chip_model> chips;
	std::map<std::string, int> failures;
	std::ofstream trace_file;
	std::map<const void *, live_object> live;
	std::map<std::string, int> counters;

	// At exit: whatever the caller never released, and the state every line
	// a request touched was left in.
	~world()
	{
		for (const auto &[object, entry] : live)
			write("leak " + entry.name);
		for (const auto &[path, chip] : chips)
			for (size_t offset = 0; offset < chip.lines.size(); offset++)
				if (chip.lines[offset].changed)
					trace_line("rest", path, offset, chip.lines[offset]);
	}

	void write(const std::string &line)
	{
		if (trace_file.is_open())
			trace_file << line << std::endl;
	}
};

world the_world;

[[noreturn]] void give_up(const std::string &why)
{
	fprintf(stderr, "gpiosim: %s\n", why.c_str());
	abort();
}

void load_chips(const nlohmann::json &chips)
{
	for (const auto &[path, chip] : chips.items()) {
		chip_model model;
		model.path = path;
		model.open_errno = chip.value("open_errno", 0);
		for (const auto &line : chip.value("lines", nlohmann::json::array())) {
			line_model lm;
			lm.name = line.value("name", "");
			std::string direction = line.value("direction", "input");
			if (direction != "input" && direction != "output")
				give_up("line direction must be input or output, not " + direction);
			lm.output = direction == "output";
			lm.active_low = line.value("active_low", false);
			lm.high = (line.value("value", 0) != 0) != lm.active_low;
			std::string pull = line.value("pull", "down");
			if (pull != "up" && pull != "down")
				give_up("line pull must be up or down, not " + pull);
			lm.pull_up = pull == "up";
			lm.consumer = line.value("consumer", "");
			model.lines.push_back(lm);
		}
		the_world.chips[path] = model;
	}
}

void load()
{
	if (the_world.loaded)
		return;
	the_world.loaded = true;

	if (const char *trace_path = getenv("GPIOSIM_TRACE")) {
		the_world.trace_file.open(trace_path, std::ios::app);
		if (!the_world.trace_file)
			give_up(std::string("cannot write the trace ") + trace_path);
	}

	const char *chips_path = getenv("GPIOSIM_CHIPS");
	if (!chips_path)
		return; // no chips at all
	std::ifstream in(chips_path);
	if (!in)
		give_up(std::string("cannot read the chip description ") + chips_path);
	try {
		nlohmann::json description = nlohmann::json::parse(in);
		load_chips(description.value("chips", nlohmann::json::object()));
		nlohmann::json failures = description.value("fail", nlohmann::json::object());
		for (const auto &[call, error] : failures.items())
			the_world.failures[call] = error.get<int>();
	} catch (const nlohmann::json::exception &e) {
		give_up(std::string(chips_path) + ": " + e.what());
	}
}

} // namespace

chip_model *find_chip(const std::string &path)
{
	load();
	auto it = the_world.chips.find(path);
	return it == the_world.chips.end() ? nullptr : &it->second;
}

int injected_failure(const char *call)
{
	load();
	auto it = the_world.failures.find(call);
	return it == the_world.failures.end() ? 0 : it->second;
}

void trace(const std::string &line)
{
	load();
	the_world.write(line);
}

void trace_line(const char *kind, const std::string &path, size_t offset, const line_model &line)
{
	trace(std::string(kind) + " " + path + " " + std::to_string(offset) + " " +
	      (line.output ? "output" : "input") + " active_low=" +
	      (line.active_low ? "true" : "false") + " value=" +
	      (line.active() ? "active" : "inactive"));
}

std::string errno_name(int error)
{
	const char *name = strerrorname_np(error);
	return name ? name : std::to_string(error);
}

std::string adopt(const void *object, const char *kind)
{
	std::string name = std::string(kind) + "#" + std::to_string(++the_world.counters[kind]);
	the_world.live[object] = {kind, name};
	return name;
}

bool is_live(const void *object, const char *kind, const char *call)
{
	auto it = the_world.live.find(object);
	if (it != the_world.live.end() && it->second.kind == kind)
		return true;
	trace(std::string("misuse ") + call + " on " + (object ? "an unknown " : "a null ") + kind);
	return false;
}

std::string name_of(const void *object)
{
	auto it = the_world.live.find(object);
	return it == the_world.live.end() ? "?" : it->second.name;
}

void forget(const void *object)
{
	the_world.live.erase(object);
}

} // namespace gpiosim
