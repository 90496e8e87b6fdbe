// Debounced reload: every configuration change restarts a 10 s timer, and
// only its expiry starts the reload script, so a burst of changes leads to
// one run after the last of them.
#include "reload.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

extern "C" {
#include <libubox/uloop.h>
}

constexpr int RELOAD_QUIET_MS = 10000;

static struct uloop_timeout reload_timer;

// The loop ignores SIGPIPE and catches SIGCHLD, the daemon catches SIGINT
// and SIGTERM, and an ignored signal stays ignored across exec: the script
// would run with SIGPIPE ignored, and a pipeline whose writer never checks
// for write errors would not end. Give the script what a fresh process has:
// default handlers first, then no signal blocked, whatever the daemon was
// started with.
static void restore_default_signals(void)
{
	static const int changed[] = { SIGPIPE, SIGCHLD, SIGINT, SIGTERM };
	sigset_t none;

	for (int signo : changed)
		signal(signo, SIG_DFL);
	sigemptyset(&none);
	sigprocmask(SIG_SETMASK, &none, NULL);
}

static void reload_timer_cb(struct uloop_timeout *)
{
	puts("executing reload script");

	// Until its handlers are reset the child would run the daemon's: a stop
	// meant for it would stop nothing and the script would run anyway.
	// Held back across the fork, such a signal reaches the child once its
	// handlers are the defaults, and the daemon's own once its mask is back.
	sigset_t held, old_mask;
	sigemptyset(&held);
	sigaddset(&held, SIGINT);
	sigaddset(&held, SIGTERM);
	sigaddset(&held, SIGCHLD);
	sigprocmask(SIG_BLOCK, &held, &old_mask);

	pid_t pid = fork();
	if (pid == 0) {
		restore_default_signals();
		execl("/sbin/reknit", "reknit", (char *)NULL);
		perror("exec reknit failed");
		// _exit: the parent's buffered stdout must not be written twice
		_exit(1);
	}
	int fork_errno = errno;
	sigprocmask(SIG_SETMASK, &old_mask, NULL);
	if (pid < 0) {
		errno = fork_errno;
		perror("fork to exec reknit failed");
	}
	// Not waited for: the loop's SIGCHLD handling reaps every exited child.
}

void reload_schedule(void)
{
	reload_timer.cb = reload_timer_cb;
	uloop_timeout_set(&reload_timer, RELOAD_QUIET_MS);
}

void reload_run_pending(void)
{
	if (!reload_timer.pending)
		return;
	uloop_timeout_cancel(&reload_timer);
	reload_timer_cb(&reload_timer);
}
