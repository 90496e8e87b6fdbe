// What the fuzz targets share: a private configuration directory that
// every uci context the code under test allocates reads from, a quiet
// standard error, and the daemons' own telemetry frame without a broker:
// registration and notifications stop at the bus library's door, where
// each message built is checked instead of sent.
#pragma once

#include <string>

#include "telemetry_frame.h"

// Creates a folder of its own for the run (removed at exit), writes the
// given package files into it and points every later uci context there.
// Returns the folder.
std::string fuzz_config_dir(const char *const files[][2], int count);

// Sends what the code under test prints to standard error to /dev/null,
// unless APSUITE_FUZZ_OUTPUT is set; the sanitizers and libFuzzer still
// report on the real standard error.
void fuzz_quiet_stderr();

// Starts the telemetry frame for daemon as the daemon does, with the
// object registered and one subscriber on it, so every notification is
// built and handed to ubus_notify(). That call (linked with
// --wrap=ubus_notify) checks it: the daemon's object and notification
// type, no wait for replies, "msg_type" = "status" and "data" holding the
// daemon's section as its one table. A fault stops the run.
void fuzz_telemetry_start(const struct telemetry_daemon *daemon);
