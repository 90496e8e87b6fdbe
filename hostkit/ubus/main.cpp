// ubus: the bus from the command line.
//
//   ubus [-s <socket>] [-t <seconds>] [-S] [-v] <command> [arguments...]
//
// Exit status: 0 on success, the bus status code when a command failed,
// 255 without a connection or on unreadable arguments, 254 on bad usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "commands.h"

namespace {

struct Entry {
	const char *name;
	Command run;
};

const Entry kCommands[] = {
	{ "list", cmd_list },
	{ "call", cmd_call },
	{ "subscribe", cmd_subscribe },
	{ "listen", cmd_listen },
	{ "send", cmd_send },
	{ "wait_for", cmd_wait_for },
};

int usage(const char *prog)
{
	fprintf(stderr,
		"Usage: %s [<options>] <command> [arguments...]\n"
		"Options:\n"
		" -s <socket>:\t\tconnect to this socket instead of the default one\n"
		" -t <seconds>:\t\ttime limit: for call and wait_for (default 30),\n"
		"\t\t\tand for subscribe and listen (default none)\n"
		" -S:\t\t\tplain output for scripts, without error texts\n"
		" -v:\t\t\tlist methods and their arguments too\n"
		"\n"
		"Commands:\n"
		" - list [<path>]\t\t\tlist objects\n"
		" - call <path> <method> [<message>]\tcall a method of an object\n"
		" - subscribe <path> [<path>...]\tprint the notifications of objects\n"
		" - listen [<event>...]\t\t\tprint events (all without arguments)\n"
		" - send <type> [<message>]\t\tsend an event\n"
		" - wait_for <object> [<object>...]\twait until all objects are on the bus\n",
		prog);
	return kUsage;
}

}  // namespace

int main(int argc, char **argv)
{
	const char *prog = argv[0];
	const char *socket = nullptr;
	Options opt;
	int c;

	while ((c = getopt(argc, argv, "+s:t:Sv")) != -1) {
		switch (c) {
		case 's':
			socket = optarg;
			break;
		case 't':
			opt.timeout = opt.listen_timeout = atoi(optarg);
			break;
		case 'S':
			opt.simple = true;
			break;
		case 'v':
			opt.verbose = true;
			break;
		default:
			return usage(prog);
		}
	}
	argc -= optind;
	argv += optind;
	if (argc < 1)
		return usage(prog);

	const Entry *cmd = nullptr;
	for (const Entry &e : kCommands)
		if (!strcmp(e.name, argv[0]))
			cmd = &e;
	if (!cmd)
		return usage(prog);

	ubus_context *ctx = ubus_connect(socket);
	if (!ctx) {
		if (!opt.simple)
			fprintf(stderr, "Failed to connect to ubus\n");
		return -1;
	}

	int ret = cmd->run(ctx, opt, argc - 1, argv + 1);
	if (ret > 0 && !opt.simple)
		fprintf(stderr, "Command failed: %s\n", ubus_strerror(ret));
	else if (ret == kUsage)
		usage(prog);

	ubus_free(ctx);
	return ret;
}
