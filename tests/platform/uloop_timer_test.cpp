// Timers as the daemons use them: airsift's 200 ms tick, confwatch's
// 2000 ms lookup and its 10 s quiet time, which each new change restarts.
// The loop compares deadlines in whole milliseconds, cut toward zero, so a
// timer may fire less than 1 ms before its deadline, never earlier.
#include "uloop_fixture.h"

#include <vector>

namespace {

struct rec_timer {
	struct uloop_timeout t = {};
	int id = 0;
	int64_t due_us = 0;
	int64_t fired_us = -1;
};

static std::vector<int> fired;
static std::vector<int> early;

static void record(struct uloop_timeout *t)
{
	struct rec_timer *r = container_of(t, struct rec_timer, t);
	r->fired_us = now_us();
	if (r->fired_us <= r->due_us - 1000)
		early.push_back(r->id);
	fired.push_back(r->id);
}

static void end_loop(struct uloop_timeout *)
{
	uloop_end();
}

class UloopTimer : public Uloop {
protected:
	void SetUp() override
	{
		Uloop::SetUp();
		fired.clear();
		early.clear();
		for (int i = 0; i < 4; i++) {
			timers[i].id = i;
			timers[i].t.cb = record;
		}
		last.cb = end_loop;
	}

	void set(int i, int ms)
	{
		timers[i].due_us = now_us() + ms * 1000;
		uloop_timeout_set(&timers[i].t, ms);
	}

	rec_timer timers[4];
	struct uloop_timeout last = {};
};

TEST_F(UloopTimer, FireInDeadlineOrderNeverAMillisecondEarly)
{
	set(0, 30);
	set(1, 10);
	set(2, 0);
	set(3, 20);
	uloop_timeout_set(&last, 40);

	run_bounded();
	EXPECT_EQ(fired, (std::vector<int>{ 2, 1, 3, 0 }));
	EXPECT_TRUE(early.empty());
	for (auto &r : timers)
		EXPECT_FALSE(r.t.pending);
}

// Setting a pending timer again forgets its earlier deadline, whether the
// new one is later or earlier.
TEST_F(UloopTimer, SettingAgainReschedules)
{
	set(0, 5);
	set(0, 10000);
	int64_t remaining = uloop_timeout_remaining64(&timers[0].t);
	EXPECT_GT(remaining, 9000);
	EXPECT_LE(remaining, 10000);

	set(0, 40);  // later than timer 1 now, earlier than it was
	set(1, 20);
	uloop_timeout_set(&last, 60);

	run_bounded();
	EXPECT_EQ(fired, (std::vector<int>{ 1, 0 }));
	EXPECT_TRUE(early.empty());
	EXPECT_EQ(uloop_timeout_remaining64(&timers[0].t), -1);
}

} // namespace
