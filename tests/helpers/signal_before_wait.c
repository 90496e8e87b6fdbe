/*
 * Preloaded into a daemon by the stop tests. The event loop tests its stop
 * flag and then waits in epoll_wait; a signal in between is the moment a
 * stop is easiest to lose, and the kernel hits it only by chance. This
 * raises the signal right there, on cue:
 *
 *   BEFORE_WAIT_SIGNAL=15  the signal to raise;
 *   BEFORE_WAIT_CALL=2     before which call of epoll_wait (default 1);
 *   BEFORE_WAIT_REPORT=f   where to write how that wait ended: "events"
 *                          when something woke it, "timeout" when it ran
 *                          out (a loop with a timer would end such a wait
 *                          anyway, stop or not), "error" otherwise.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/epoll.h>

static void report_wait(int result)
{
	const char *path = getenv("BEFORE_WAIT_REPORT");
	FILE *report;

	if (!path || !(report = fopen(path, "w")))
		return;
	fputs(result > 0 ? "events\n" : result == 0 ? "timeout\n" : "error\n", report);
	fclose(report);
}

int epoll_wait(int epfd, struct epoll_event *events, int maxevents, int timeout)
{
	static int (*real_epoll_wait)(int, struct epoll_event *, int, int);
	static long calls;

	if (!real_epoll_wait)
		real_epoll_wait = (int (*)(int, struct epoll_event *, int, int))
			dlsym(RTLD_NEXT, "epoll_wait");

	const char *signo = getenv("BEFORE_WAIT_SIGNAL");
	const char *call = getenv("BEFORE_WAIT_CALL");
	if (!signo || ++calls != (call ? atol(call) : 1))
		return real_epoll_wait(epfd, events, maxevents, timeout);

	raise(atoi(signo));
	int result = real_epoll_wait(epfd, events, maxevents, timeout);
	report_wait(result);
	return result;
}
