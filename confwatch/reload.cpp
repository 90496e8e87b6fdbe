/*
 * Debounced reload: every configuration change restarts a 10 s timer, and
 * only its expiry starts the reload script, so a burst of changes leads to
 * one run after the last of them.
 */
#include "reload.h"

#include <stdio.h>
#include <unistd.h>

extern "C" {
#include <libubox/uloop.h>
}

enum { reload_quiet_ms = 10000 };

static struct uloop_timeout reload_timer;

static void reload_timer_cb(struct uloop_timeout *)
{
	puts("executing reload script");

	pid_t pid = fork();
	if (pid < 0) {
		perror("fork to exec reknit failed");
		return;
	}
	if (pid == 0) {
		execl("/sbin/reknit", "reknit", (char *)NULL);
		perror("exec reknit failed");
		/* _exit: the parent's buffered stdout must not be written twice */
		_exit(1);
	}
	/* Not waited for: the loop's SIGCHLD handling reaps every exited child. */
}

void reload_schedule(void)
{
	reload_timer.cb = reload_timer_cb;
	uloop_timeout_set(&reload_timer, reload_quiet_ms);
}
