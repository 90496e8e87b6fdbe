/*
 * Preloaded into a daemon by the tests to make standard input misbehave
 * on cue, where the kernel would do so only by chance:
 *
 *   STDIN_READ_ERRNOS=11,4  the first reads of descriptor 0 fail with
 *                           these errno values, one per read, in order;
 *   STDIN_WATCH_SIGNAL=15   this signal is raised as soon as descriptor 0
 *                           has been added to an epoll set, that is at
 *                           the very end of a daemon's start-up.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/epoll.h>
#include <unistd.h>

static const char *next_errno;

static int take_errno(void)
{
	if (!next_errno)
		next_errno = getenv("STDIN_READ_ERRNOS");
	if (!next_errno || !*next_errno)
		return 0;

	char *end;
	int err = (int)strtol(next_errno, &end, 10);
	next_errno = *end == ',' ? end + 1 : end;
	return err;
}

ssize_t read(int fd, void *buf, size_t count)
{
	static ssize_t (*real_read)(int, void *, size_t);

	if (fd == 0) {
		int err = take_errno();
		if (err) {
			errno = err;
			return -1;
		}
	}
	if (!real_read)
		real_read = (ssize_t (*)(int, void *, size_t))dlsym(RTLD_NEXT, "read");
	return real_read(fd, buf, count);
}

int epoll_ctl(int epfd, int op, int fd, struct epoll_event *event)
{
	static int (*real_epoll_ctl)(int, int, int, struct epoll_event *);

	if (!real_epoll_ctl)
		real_epoll_ctl = (int (*)(int, int, int, struct epoll_event *))dlsym(RTLD_NEXT, "epoll_ctl");
	int ret = real_epoll_ctl(epfd, op, fd, event);

	const char *signo = getenv("STDIN_WATCH_SIGNAL");
	if (ret == 0 && op == EPOLL_CTL_ADD && fd == 0 && signo)
		raise(atoi(signo));
	return ret;
}
