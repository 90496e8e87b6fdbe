// What the fuzz targets share: a private configuration directory that
// every uci context the code under test allocates reads from, a quiet
// standard error, and the telemetry frame's notification calls without a
// bus, checking each message built instead of sending it.
#pragma once

#include <string>

// Creates a folder of its own for the run (removed at exit), writes the
// given package files into it and points every later uci context there.
// Returns the folder.
std::string fuzz_config_dir(const char *const files[][2], int count);

// Sends what the code under test prints to standard error to /dev/null,
// unless APSUITE_FUZZ_OUTPUT is set; the sanitizers and libFuzzer still
// report on the real standard error.
void fuzz_quiet_stderr();

// The section table the telemetry double's notifications carry
// ("wireless_scan", "log"); set before the first one is built.
void fuzz_telemetry_section(const char *section);
