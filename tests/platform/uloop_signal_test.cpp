// Signals around the loop: every daemon installs its stop handlers before
// uloop_init (daemon/daemon_stop.h), which keeps them, and they end the
// loop; so does one installed after it, in place of the loop's own. The
// loop reaps the children confwatch never waits for.
#include "uloop_fixture.h"

#include <errno.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>

namespace {

static int stops;

static void stop_handler(int)
{
	stops++;
	uloop_cancelled = true;
}

static sighandler_t handler_of(int signo)
{
	struct sigaction sa;
	sigaction(signo, NULL, &sa);
	return sa.sa_handler;
}

// Each test starts from default dispositions and leaves them so.
class UloopSignal : public Uloop {
protected:
	void SetUp() override
	{
		defaults();
		stops = 0;
		Uloop::SetUp();
	}
	void TearDown() override
	{
		Uloop::TearDown();
		defaults();
	}
	static void defaults()
	{
		for (int s : { SIGINT, SIGTERM, SIGCHLD, SIGALRM })
			signal(s, SIG_DFL);
	}
	// SIGTERM 20 ms from now, while the loop sleeps with nothing to wake it
	static void term_soon()
	{
		signal(SIGALRM, [](int) { kill(getpid(), SIGTERM); });
		struct itimerval in_20ms = {};
		in_20ms.it_value.tv_usec = 20000;
		ASSERT_EQ(setitimer(ITIMER_REAL, &in_20ms, NULL), 0);
	}
};

TEST_F(UloopSignal, HandlerInstalledBeforeInitIsKeptAndEndsTheLoop)
{
	uloop_done();
	signal(SIGINT, stop_handler);
	signal(SIGTERM, stop_handler);
	ASSERT_EQ(uloop_init(), 0);
	EXPECT_EQ(handler_of(SIGINT), stop_handler) << "uloop_init replaced the handler";
	EXPECT_EQ(handler_of(SIGTERM), stop_handler) << "uloop_init replaced the handler";

	term_soon();
	run_bounded();
	EXPECT_EQ(stops, 1);
}

TEST_F(UloopSignal, HandlerInstalledAfterInitEndsTheLoop)
{
	signal(SIGINT, stop_handler);
	signal(SIGTERM, stop_handler);

	term_soon();
	run_bounded();
	EXPECT_EQ(stops, 1);
}

// Children are reaped while the loop runs, whether anyone watches them or
// not; none stays a zombie.
static bool gone(pid_t pid)
{
	return kill(pid, 0) < 0 && errno == ESRCH;
}

static pid_t child_pid;

TEST_F(UloopSignal, ExitedChildrenAreReaped)
{
	struct uloop_timeout poll = {};

	child_pid = fork();
	ASSERT_GE(child_pid, 0);
	if (child_pid == 0)
		_exit(3);

	poll.cb = [](struct uloop_timeout *t) {
		if (gone(child_pid))
			uloop_end();
		else
			uloop_timeout_set(t, 5);
	};
	uloop_timeout_set(&poll, 0);
	run_bounded();
	EXPECT_TRUE(gone(child_pid));
	uloop_timeout_cancel(&poll);
}

} // namespace
