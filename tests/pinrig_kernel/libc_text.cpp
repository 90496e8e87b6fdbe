// libc-text: the texts the C library it runs on gives, so that expectations
// come from the library pinrig uses rather than from memory.
//   libc-text strerror <errno>...       one "<errno> <text>" line each
//   libc-text getopt <argv0> <arg>...   getopt's own diagnostics for those
//                                       arguments with pinrig's option string

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char **argv)
{
	if (argc >= 2 && strcmp(argv[1], "strerror") == 0) {
		for (int i = 2; i < argc; i++)
			printf("%d %s\n", atoi(argv[i]), strerror(atoi(argv[i])));
		return 0;
	}
	if (argc >= 3 && strcmp(argv[1], "getopt") == 0) {
		// Stops at the first bad option, as pinrig does.
		int opt;
		while ((opt = getopt(argc - 2, argv + 2, "g:d:v:a:")) != -1 && opt != '?')
			;
		return 0;
	}
	fputs("usage: libc-text strerror <errno>... | getopt <argv0> <arg>...\n", stderr);
	return 2;
}
