// The commands of the ubus client. Each returns 0, a bus status code
// (reported as "Command failed: ..."), or a negative value for failures it
// has reported itself; kUsage asks for the usage text.
#pragma once

#include <libubus.h>

struct Options {
	int timeout = 30;         // seconds for call and wait_for
	int listen_timeout = 0;   // seconds for subscribe and listen; 0: none
	bool simple = false;      // -S: no texts meant for people
	bool verbose = false;     // -v: list methods with their arguments
};

constexpr int kUsage = -2;

using Command = int (*)(ubus_context *ctx, const Options &opt, int argc, char **argv);

int cmd_list(ubus_context *ctx, const Options &opt, int argc, char **argv);
int cmd_call(ubus_context *ctx, const Options &opt, int argc, char **argv);
int cmd_subscribe(ubus_context *ctx, const Options &opt, int argc, char **argv);
int cmd_listen(ubus_context *ctx, const Options &opt, int argc, char **argv);
int cmd_send(ubus_context *ctx, const Options &opt, int argc, char **argv);
int cmd_wait_for(ubus_context *ctx, const Options &opt, int argc, char **argv);
