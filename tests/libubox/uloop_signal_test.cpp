// Signals around the loop: who may end it, which handlers it takes over
// and gives back, and reaping of exited children.
#include "uloop_fixture.h"

#include <errno.h>
#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>

namespace {

static void set_cancelled(int)
{
	uloop_cancelled = true;
}

static void other_handler(int)
{
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
		for (int s : { SIGINT, SIGTERM, SIGPIPE, SIGCHLD, SIGALRM })
			signal(s, SIG_DFL);
		Uloop::SetUp();
	}
	void TearDown() override
	{
		Uloop::TearDown();
		for (int s : { SIGINT, SIGTERM, SIGPIPE, SIGCHLD, SIGALRM })
			signal(s, SIG_DFL);
	}
};

// The program's own handler, installed with signal(), only sets the flag;
// the loop is asleep in epoll_wait with nothing else to wake it.
TEST_F(UloopSignal, ForeignHandlerEndsABlockedLoop)
{
	signal(SIGALRM, set_cancelled);
	struct itimerval in_20ms = {};
	in_20ms.it_value.tv_usec = 20000;
	ASSERT_EQ(setitimer(ITIMER_REAL, &in_20ms, NULL), 0);

	EXPECT_EQ(run_bounded(), 0);
}

TEST_F(UloopSignal, OwnStopHandlerEndsTheLoopAndNamesTheSignal)
{
	struct uloop_timeout stop = {};
	stop.cb = [](struct uloop_timeout *) { raise(SIGTERM); };
	uloop_timeout_set(&stop, 0);

	EXPECT_EQ(run_bounded(), SIGTERM);
}

TEST_F(UloopSignal, TakesOnlyDefaultHandlersAndGivesThemBack)
{
	uloop_done();
	signal(SIGTERM, other_handler);
	ASSERT_EQ(uloop_init(), 0);

	EXPECT_NE(handler_of(SIGINT), SIG_DFL);
	EXPECT_EQ(handler_of(SIGTERM), other_handler) << "an earlier handler was replaced";
	EXPECT_EQ(handler_of(SIGPIPE), SIG_IGN);
	EXPECT_NE(handler_of(SIGCHLD), SIG_DFL);

	uloop_done();
	EXPECT_EQ(handler_of(SIGINT), SIG_DFL);
	EXPECT_EQ(handler_of(SIGTERM), other_handler);
	EXPECT_EQ(handler_of(SIGPIPE), SIG_DFL);
	EXPECT_EQ(handler_of(SIGCHLD), SIG_DFL);

	// a handler installed while the loop is set up wins, and stays
	ASSERT_EQ(uloop_init(), 0);
	signal(SIGINT, set_cancelled);
	uloop_done();
	EXPECT_EQ(handler_of(SIGINT), set_cancelled);
	ASSERT_EQ(uloop_init(), 0);
}

// A child the program watches is reported; one it does not is reaped all
// the same, and neither stays a zombie.
static pid_t watched_pid, unwatched_pid;
static int watched_status = -1;

static bool gone(pid_t pid)
{
	return kill(pid, 0) < 0 && errno == ESRCH;
}

TEST_F(UloopSignal, ExitedChildrenAreReaped)
{
	struct uloop_process proc = {};
	struct uloop_timeout poll = {};

	unwatched_pid = fork();
	ASSERT_GE(unwatched_pid, 0);
	if (unwatched_pid == 0)
		_exit(0);
	watched_pid = fork();
	ASSERT_GE(watched_pid, 0);
	if (watched_pid == 0)
		_exit(3);

	proc.pid = watched_pid;
	proc.cb = [](struct uloop_process *, int status) { watched_status = status; };
	ASSERT_EQ(uloop_process_add(&proc), 0);

	poll.cb = [](struct uloop_timeout *t) {
		if (watched_status >= 0 && gone(watched_pid) && gone(unwatched_pid))
			uloop_end();
		else
			uloop_timeout_set(t, 5);
	};
	uloop_timeout_set(&poll, 0);
	run_bounded();

	ASSERT_TRUE(WIFEXITED(watched_status));
	EXPECT_EQ(WEXITSTATUS(watched_status), 3);
	EXPECT_FALSE(proc.pending);
	EXPECT_TRUE(gone(unwatched_pid));
	uloop_timeout_cancel(&poll);
}

} // namespace
