// The stop module's contract where no daemon exercises it. Each test runs
// in a process of its own (gtest_discover_tests), so the module's state
// starts fresh for each.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>

#include "daemon_stop.h"

extern "C" {
#include <libubox/uloop.h>
}

// What the bus library does when it reads the end of the stream.
static void lose_the_bus(struct ubus_context *ctx)
{
	ctx->connection_lost(ctx);
}

TEST(BusLoss, WithoutAMessageWritesNothing)
{
	struct ubus_context ctx = {};

	daemon_stop_watch_bus(&ctx, NULL);
	testing::internal::CaptureStderr();
	lose_the_bus(&ctx);
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
	EXPECT_TRUE(daemon_stop_bus_lost());
	EXPECT_FALSE(daemon_stop_signalled());
	EXPECT_TRUE(uloop_cancelled);
}

TEST(BusLoss, WritesItsMessage)
{
	struct ubus_context ctx = {};

	daemon_stop_watch_bus(&ctx, "bus gone\n");
	testing::internal::CaptureStderr();
	lose_the_bus(&ctx);
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "bus gone\n");
	EXPECT_TRUE(daemon_stop_bus_lost());
}

TEST(StopSignal, WritesTheMessageWithItsNumber)
{
	daemon_stop_init_loop("Signal %d, stopping\n");
	testing::internal::CaptureStderr();
	raise(SIGINT);
	raise(SIGTERM);
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "Signal 2, stopping\nSignal 15, stopping\n");
	EXPECT_TRUE(daemon_stop_signalled());
	EXPECT_FALSE(daemon_stop_bus_lost());
}

TEST(StopSignal, LongMessageIsCut)
{
	std::string longest(400, 'x');

	daemon_stop_init_loop(longest.c_str());
	testing::internal::CaptureStderr();
	raise(SIGTERM);
	EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string(159, 'x'));
}

// A daemon started with the stop signals blocked would never hear them.
TEST(StopSignal, IsUnblockedWhateverTheStartingMask)
{
	sigset_t stops, mask;

	sigemptyset(&stops);
	sigaddset(&stops, SIGTERM);
	sigprocmask(SIG_BLOCK, &stops, NULL);
	ASSERT_TRUE(daemon_stop_init_loop(NULL));
	sigprocmask(SIG_BLOCK, NULL, &mask);
	EXPECT_FALSE(sigismember(&mask, SIGTERM));
	EXPECT_FALSE(sigismember(&mask, SIGINT));
	uloop_done();
}

TEST(StopSignal, WithoutAMessageWritesNothing)
{
	daemon_stop_init_loop(NULL);
	testing::internal::CaptureStderr();
	raise(SIGINT);
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
	EXPECT_TRUE(daemon_stop_signalled());
}

// A stop that came while the loop was not looking is delivered by the
// loop's own signal handling too, and ends the loop there.
TEST(StopSignal, EndsALoopThatIsRunning)
{
	static struct uloop_timeout stop_in_the_loop, backstop;
	static bool backstop_fired;

	ASSERT_TRUE(daemon_stop_init_loop(NULL));
	stop_in_the_loop.cb = [](struct uloop_timeout *) {
		raise(SIGTERM);
		// As uloop_run_timeout() does when it starts: only the delivery
		// can set it again now.
		uloop_cancelled = false;
	};
	backstop.cb = [](struct uloop_timeout *) {
		backstop_fired = true;
		uloop_end();
	};
	uloop_timeout_set(&stop_in_the_loop, 1);
	uloop_timeout_set(&backstop, 5000);
	daemon_stop_run_loop();
	EXPECT_TRUE(daemon_stop_signalled());
	EXPECT_FALSE(backstop_fired);
	uloop_done();
}
