// Signals around the loop: SIGINT/SIGTERM end it, SIGCHLD has children
// reaped, SIGPIPE is ignored. Each is taken over only while it has its
// default disposition, and given back by uloop_done if still ours.
// Handlers write to a pipe the loop polls, so a signal that arrives just
// before the loop starts waiting still wakes it.
extern "C" {
#include <libubox/uloop.h>
}

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include "uloop_private.h"

volatile sig_atomic_t uloop_sigchld_pending;
int uloop_status;

struct taken_signal {
	int signo;
	bool taken;
	struct sigaction old;
};

static struct taken_signal sigint_state = { SIGINT, false, {} };
static struct taken_signal sigterm_state = { SIGTERM, false, {} };
static struct taken_signal sigchld_state = { SIGCHLD, false, {} };
static struct taken_signal sigpipe_state = { SIGPIPE, false, {} };

static int waker_pipe[2] = { -1, -1 };
static struct uloop_fd waker_fd;

static void waker_wake(void)
{
	int saved_errno = errno;
	char c = 'w';

	if (write(waker_pipe[1], &c, 1) < 0) {
		// full pipe: a wake-up is pending anyway
	}
	errno = saved_errno;
}

static void waker_drain(struct uloop_fd *fd, unsigned int events)
{
	char buf[64];

	(void) events;
	while (read(fd->fd, buf, sizeof(buf)) > 0)
		;
}

static void handle_stop(int signo)
{
	uloop_status = signo;
	uloop_cancelled = true;
	waker_wake();
}

static void handle_sigchld(int signo)
{
	(void) signo;
	uloop_sigchld_pending = 1;
	waker_wake();
}

static void take_signal(struct taken_signal *sig, void (*handler)(int), int flags)
{
	struct sigaction cur, sa;

	if (sigaction(sig->signo, NULL, &cur) < 0)
		return;
	if (cur.sa_handler != SIG_DFL || (cur.sa_flags & SA_SIGINFO))
		return;

	memset(&sa, 0, sizeof(sa));
	sa.sa_handler = handler;
	sigemptyset(&sa.sa_mask);
	sa.sa_flags = flags;
	if (sigaction(sig->signo, &sa, &sig->old) == 0)
		sig->taken = true;
}

// Only if the program has not installed its own handler in the meantime.
static void give_back_signal(struct taken_signal *sig, void (*handler)(int))
{
	struct sigaction cur;

	if (!sig->taken)
		return;
	sig->taken = false;

	if (sigaction(sig->signo, NULL, &cur) < 0)
		return;
	if (cur.sa_handler != handler || (cur.sa_flags & SA_SIGINFO))
		return;

	sigaction(sig->signo, &sig->old, NULL);
}

int uloop_signals_init(void)
{
	if (pipe2(waker_pipe, O_CLOEXEC | O_NONBLOCK) < 0)
		return -1;

	memset(&waker_fd, 0, sizeof(waker_fd));
	waker_fd.fd = waker_pipe[0];
	waker_fd.cb = waker_drain;
	if (uloop_fd_add(&waker_fd, ULOOP_READ) < 0) {
		close(waker_pipe[0]);
		close(waker_pipe[1]);
		waker_pipe[0] = waker_pipe[1] = -1;
		return -1;
	}

	// No SA_RESTART for the stop signals: a callback blocked in a system
	// call returns and the loop sees the request.
	take_signal(&sigint_state, handle_stop, 0);
	take_signal(&sigterm_state, handle_stop, 0);
	if (uloop_handle_sigchld)
		take_signal(&sigchld_state, handle_sigchld, SA_RESTART | SA_NOCLDSTOP);
	take_signal(&sigpipe_state, SIG_IGN, 0);
	return 0;
}

void uloop_signals_done(void)
{
	give_back_signal(&sigint_state, handle_stop);
	give_back_signal(&sigterm_state, handle_stop);
	give_back_signal(&sigchld_state, handle_sigchld);
	give_back_signal(&sigpipe_state, SIG_IGN);

	if (waker_pipe[0] >= 0) {
		uloop_fd_delete(&waker_fd);
		close(waker_pipe[0]);
		close(waker_pipe[1]);
		waker_pipe[0] = waker_pipe[1] = -1;
	}
	uloop_sigchld_pending = 0;
}
