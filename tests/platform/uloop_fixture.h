// An initialised loop per test, runs bounded by a guard timer, and pipes
// that close themselves.
#pragma once

#include <gtest/gtest.h>

#include <time.h>
#include <unistd.h>

extern "C" {
#include <libubox/uloop.h>
}

// microseconds on the monotonic clock, the one uloop's timers follow
static inline int64_t now_us()
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return (int64_t) ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

struct test_pipe {
	int r = -1, w = -1;

	test_pipe()
	{
		int fds[2];
		if (pipe(fds) == 0) {
			r = fds[0];
			w = fds[1];
		}
	}
	~test_pipe()
	{
		close_writer();
		if (r >= 0)
			close(r);
	}
	void close_writer()
	{
		if (w >= 0)
			close(w);
		w = -1;
	}
	void put(const char *text) { ASSERT_GT(write(w, text, strlen(text)), 0); }
};

class Uloop : public ::testing::Test {
protected:
	void SetUp() override { ASSERT_EQ(uloop_init(), 0); }
	void TearDown() override { uloop_done(); }

	// uloop_run until something ends it; fails (instead of hanging) if
	// nothing has within the bound.
	int run_bounded(int bound_ms = 5000)
	{
		guard_fired = false;
		guard.cb = [](struct uloop_timeout *) {
			guard_fired = true;
			uloop_end();
		};
		uloop_timeout_set(&guard, bound_ms);
		int ret = uloop_run();
		uloop_timeout_cancel(&guard);
		EXPECT_FALSE(guard_fired) << "loop still running after " << bound_ms << " ms";
		return ret;
	}

	// one round of the loop each, without waiting
	static void rounds(int n)
	{
		for (int i = 0; i < n; i++)
			uloop_run_timeout(0);
	}

	static inline bool guard_fired;
	struct uloop_timeout guard = {};
};
