// uloop timers: order, rescheduling, cancelling, and how runs end.
#include "uloop_fixture.h"

#include <vector>

namespace {

struct rec_timer {
	struct uloop_timeout t = {};
	int id = 0;
	int64_t due_ms = 0;
	int64_t fired_ms = -1;
};

static std::vector<int> fired;
static std::vector<int64_t> early;

static void record(struct uloop_timeout *t)
{
	struct rec_timer *r = container_of(t, struct rec_timer, t);
	r->fired_ms = now_ms();
	if (r->fired_ms < r->due_ms)
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
		timers[i].due_ms = now_ms() + ms;
		uloop_timeout_set(&timers[i].t, ms);
	}

	rec_timer timers[4];
	struct uloop_timeout last = {};
};

TEST_F(UloopTimer, FireByDeadlineNeverEarly)
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

TEST_F(UloopTimer, EqualDeadlinesFireInTheOrderAdded)
{
	struct timeval when = { 1, 0 };  // long past, so due at once
	for (int i : { 2, 0, 3 }) {
		timers[i].t.time = when;
		ASSERT_EQ(uloop_timeout_add(&timers[i].t), 0);
	}
	EXPECT_EQ(uloop_timeout_add(&timers[0].t), -1) << "added twice";
	timers[1].t.time.tv_sec = 0;
	uloop_timeout_add(&timers[1].t);
	uloop_timeout_set(&last, 0);

	run_bounded();
	EXPECT_EQ(fired, (std::vector<int>{ 1, 2, 0, 3 }));
}

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

TEST_F(UloopTimer, CancelledTimersNeverFire)
{
	struct uloop_timeout never_set = {};
	EXPECT_EQ(uloop_timeout_cancel(&never_set), -1);

	set(0, 0);
	set(1, 0);
	EXPECT_EQ(uloop_timeout_cancel(&timers[1].t), 0);
	EXPECT_EQ(uloop_timeout_cancel(&timers[1].t), -1);
	EXPECT_FALSE(timers[1].t.pending);

	// due together with timer 3, and cancelled by it first
	static struct uloop_timeout *victim;
	victim = &timers[2].t;
	timers[3].t.cb = [](struct uloop_timeout *t) {
		record(t);
		uloop_timeout_cancel(victim);
	};
	struct timeval past = { 1, 0 };
	timers[3].t.time = past;
	timers[2].t.time = past;
	uloop_timeout_add(&timers[3].t);
	uloop_timeout_add(&timers[2].t);
	uloop_timeout_set(&last, 20);

	run_bounded();
	EXPECT_EQ(fired, (std::vector<int>{ 3, 0 }));
}

// The flag is looked at between callbacks: timers due in the same round
// after the one that ended the loop wait for the next run.
TEST_F(UloopTimer, EndingStopsBeforeTheNextCallback)
{
	struct timeval past = { 1, 0 };
	timers[0].t.cb = [](struct uloop_timeout *t) {
		record(t);
		uloop_end();
	};
	timers[0].t.time = past;
	timers[1].t.time = past;
	uloop_timeout_add(&timers[0].t);
	uloop_timeout_add(&timers[1].t);

	run_bounded();
	EXPECT_EQ(fired, (std::vector<int>{ 0 }));
	EXPECT_TRUE(timers[1].t.pending);

	uloop_timeout_set(&last, 0);
	run_bounded();
	EXPECT_EQ(fired, (std::vector<int>{ 0, 1 }));
}

TEST_F(UloopTimer, RunClearsAnEarlierCancel)
{
	uloop_end();
	set(0, 1);
	uloop_timeout_set(&last, 2);
	run_bounded();
	EXPECT_EQ(fired, (std::vector<int>{ 0 }));
}

// With a limit the loop makes one round: it waits at most that long
// for something to happen, here for nothing.
TEST_F(UloopTimer, RunWithALimitWaitsAtMostOnce)
{
	int64_t start = now_ms();
	set(0, 5000);
	EXPECT_EQ(uloop_run_timeout(20), 0);
	int64_t took = now_ms() - start;
	EXPECT_GE(took, 20);
	EXPECT_TRUE(fired.empty());
	EXPECT_FALSE(uloop_cancelled);
}

} // namespace
