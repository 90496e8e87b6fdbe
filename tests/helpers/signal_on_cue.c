/*
 * Preloaded into a daemon by the stop tests: raises a signal at a chosen
 * moment, on cue, where the kernel would hit it only by chance.
 *
 *   CUE_SIGNAL=15     the signal to raise;
 *   CUE=wait          just before the event loop waits in epoll_wait: the
 *                     loop has tested its stop flag and not yet waited;
 *   CUE=fork-child    in the child, right after fork() returned there;
 *   CUE=fork-parent   in the parent, right after fork() returned there;
 *   CUE=loop-init     right after uloop_init(), which sets up the loop's
 *                     own signal handling;
 *   CUE=signal        just before signal() installs a handler;
 *   CUE_CALL=2        at which call of that function (default 1);
 *   CUE_REPORT=f      CUE=wait: where to write how the cued wait ended:
 *                     "events" when something woke it, "timeout" when it
 *                     ran out (a loop with a timer ends such a wait anyway,
 *                     stop or not), "error" otherwise.
 *
 * Programs the process starts inherit none of this.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/epoll.h>
#include <unistd.h>

static char cue[32];
static int cue_signal;
static long cue_call = 1;
static char cue_report[4096];

// Read once, then taken out of the environment with the preload itself:
// the cue belongs to this process, not to the programs it starts (the
// daemon's reload script is a shell that forks too).
__attribute__((constructor)) static void read_cue(void)
{
	const char *value;

	if ((value = getenv("CUE_SIGNAL")))
		cue_signal = atoi(value);
	if ((value = getenv("CUE_CALL")))
		cue_call = atol(value);
	if ((value = getenv("CUE_REPORT")))
		snprintf(cue_report, sizeof(cue_report), "%s", value);
	if ((value = getenv("CUE")))
		snprintf(cue, sizeof(cue), "%s", value);
	unsetenv("CUE");
	unsetenv("CUE_SIGNAL");
	unsetenv("CUE_CALL");
	unsetenv("CUE_REPORT");
	unsetenv("LD_PRELOAD");
}

// True at the cue_call-th call of a function whose cue is one of the two
// given; counts that function's calls.
static int cued(long *calls, const char *name, const char *other_name)
{
	if (!cue[0] || !cue_signal)
		return 0;
	if (strcmp(cue, name) != 0 && (!other_name || strcmp(cue, other_name) != 0))
		return 0;
	return ++*calls == cue_call;
}

static void raise_cued(void)
{
	raise(cue_signal);
}

static void report_wait(int result)
{
	FILE *report;

	if (!cue_report[0] || !(report = fopen(cue_report, "w")))
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
	if (!cued(&calls, "wait", NULL))
		return real_epoll_wait(epfd, events, maxevents, timeout);

	raise_cued();
	int result = real_epoll_wait(epfd, events, maxevents, timeout);
	report_wait(result);
	return result;
}

pid_t fork(void)
{
	static pid_t (*real_fork)(void);
	static long calls;

	if (!real_fork)
		real_fork = (pid_t (*)(void))dlsym(RTLD_NEXT, "fork");
	int now = cued(&calls, "fork-child", "fork-parent");
	pid_t pid = real_fork();

	if (now && pid >= 0 && (pid == 0) == (strcmp(cue, "fork-child") == 0))
		raise_cued();
	return pid;
}

sighandler_t signal(int signum, sighandler_t handler)
{
	static sighandler_t (*real_signal)(int, sighandler_t);
	static long calls;

	if (!real_signal)
		real_signal = (sighandler_t (*)(int, sighandler_t))dlsym(RTLD_NEXT, "signal");
	if (cued(&calls, "signal", NULL))
		raise_cued();
	return real_signal(signum, handler);
}

int uloop_init(void)
{
	static int (*real_uloop_init)(void);
	static long calls;

	if (!real_uloop_init)
		real_uloop_init = (int (*)(void))dlsym(RTLD_NEXT, "uloop_init");
	int result = real_uloop_init();

	if (cued(&calls, "loop-init", NULL))
		raise_cued();
	return result;
}
