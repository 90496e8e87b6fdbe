// The stop module's contract where no daemon exercises it. Each test runs
// in a process of its own (gtest_discover_tests), so the module's state
// starts fresh for each.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>

#include "daemon_stop.h"

extern "C" {
#include <libubox/uloop.h>
}

static int open_descriptors()
{
	int count = 0;
	DIR *dir = opendir("/proc/self/fd");

	while (readdir(dir))
		count++;
	closedir(dir);
	return count;
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

TEST(Release, GivesBackWhatInstallTookAndKeepsTheStop)
{
	int before = open_descriptors();

	daemon_stop_install(NULL);
	EXPECT_GT(open_descriptors(), before);
	daemon_stop_release();
	EXPECT_EQ(open_descriptors(), before);

	// The handlers stay: a late stop is still recorded, with nothing to wake.
	raise(SIGTERM);
	EXPECT_TRUE(daemon_stop_signalled());
	daemon_stop_release();
}
