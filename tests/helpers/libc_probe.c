/*
 * libc_probe - asks the C library the deliverables run on what it does
 * where C libraries differ, so that a test expects exactly that:
 *
 *   libc_probe strerror ERRNO
 *       prints strerror(ERRNO) and a newline.
 *   libc_probe getopt OPTSTRING ARGV0 [ARG...]
 *       runs getopt(OPTSTRING) over ARGV0 ARG... as a program's entry does,
 *       up to the first bad option, so getopt writes its own diagnostic to
 *       standard error. Standard output gets one line per option ("g led";
 *       "? x" for an unknown option or one without its argument), then
 *       "end" and the arguments after the last one taken, in the order
 *       getopt left them.
 *   libc_probe stamp LINE
 *       prints what sscanf(LINE, "[%*f] %d|%d|") returns, then the two
 *       numbers it converted (0 where it did not get that far).
 *
 * Exit status 0, or 2 for a command it does not know.
 */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int probe_strerror(const char *number)
{
	printf("%s\n", strerror(atoi(number)));
	return 0;
}

static int probe_getopt(int argc, char **argv)
{
	const char *optstring = argv[0];
	int opt;

	argc--;
	argv++;
	while ((opt = getopt(argc, argv, optstring)) != -1) {
		if (opt == '?' || opt == ':') {
			printf("%c %c\n", opt, optopt);
			break;
		}
		printf("%c %s\n", opt, optarg ? optarg : "");
	}
	printf("end");
	for (int i = optind; i < argc; i++)
		printf(" %s", argv[i]);
	printf("\n");
	return 0;
}

static int probe_stamp(const char *line)
{
	int first = 0, second = 0;
	int converted = sscanf(line, "[%*f] %d|%d|", &first, &second);

	printf("%d %d %d\n", converted, first, second);
	return 0;
}

int main(int argc, char **argv)
{
	if (argc == 3 && strcmp(argv[1], "strerror") == 0)
		return probe_strerror(argv[2]);
	if (argc >= 4 && strcmp(argv[1], "getopt") == 0)
		return probe_getopt(argc - 2, argv + 2);
	if (argc == 3 && strcmp(argv[1], "stamp") == 0)
		return probe_stamp(argv[2]);
	fprintf(stderr, "usage: libc_probe strerror ERRNO | getopt OPTSTRING ARGV0 [ARG...] | stamp LINE\n");
	return 2;
}
