// linetap's standard input in the loop: read interest, level-triggered,
// and how the end of the stream is reported.
#include "uloop_fixture.h"

#include <fcntl.h>

#include <vector>

namespace {

struct watched {
	struct uloop_fd u = {};
	std::vector<unsigned int> calls;   // event masks, one per callback
	bool read_all = false;
};

static void on_event(struct uloop_fd *u, unsigned int events)
{
	struct watched *w = container_of(u, struct watched, u);
	char buf[256];

	w->calls.push_back(events);
	if (w->read_all && (events & ULOOP_READ))
		while (read(u->fd, buf, sizeof(buf)) > 0)
			;
}

class UloopFd : public Uloop {
protected:
	void watch(watched &w, int fd, unsigned int flags)
	{
		w.u.fd = fd;
		w.u.cb = on_event;
		ASSERT_EQ(uloop_fd_add(&w.u, flags), 0);
	}
};

// linetap reads until EAGAIN once its writer is gone: the descriptor must
// not block then.
TEST_F(UloopFd, AddMakesTheDescriptorNonBlocking)
{
	test_pipe p;
	watched r;

	ASSERT_FALSE(fcntl(p.r, F_GETFL) & O_NONBLOCK);
	watch(r, p.r, ULOOP_READ);
	EXPECT_TRUE(fcntl(p.r, F_GETFL) & O_NONBLOCK);
	EXPECT_TRUE(r.u.registered);
	uloop_fd_delete(&r.u);
}

// One read of at most 256 bytes per call: the loop calls again for as long
// as data is waiting.
TEST_F(UloopFd, LevelTriggeredRepeatsWhileDataIsUnread)
{
	test_pipe p;
	watched r;

	watch(r, p.r, ULOOP_READ);
	rounds(2);
	EXPECT_TRUE(r.calls.empty());

	p.put("x");
	rounds(3);
	EXPECT_EQ(r.calls, (std::vector<unsigned int>{ ULOOP_READ, ULOOP_READ, ULOOP_READ }));

	r.read_all = true;
	rounds(3);
	EXPECT_EQ(r.calls.size(), 4u) << "called again after the data was read";
	uloop_fd_delete(&r.u);
}

// The writer went away with nothing left to read: the callback learns it
// once, with an empty mask and the error flag, and the descriptor is
// already out of the loop. Nothing calls again.
TEST_F(UloopFd, ClosedWriterWithNothingToRead)
{
	test_pipe p;
	watched r;

	watch(r, p.r, ULOOP_READ);
	p.close_writer();
	rounds(4);

	EXPECT_EQ(r.calls, (std::vector<unsigned int>{ 0 }));
	EXPECT_TRUE(r.u.error);
	EXPECT_FALSE(r.u.registered);
}

// Data still buffered: the one call carries ULOOP_READ, but it is the
// last; whatever the callback leaves unread is never announced again.
TEST_F(UloopFd, ClosedWriterWithDataLeft)
{
	test_pipe p;
	watched r;

	watch(r, p.r, ULOOP_READ);
	p.put("last words");
	p.close_writer();
	rounds(4);

	EXPECT_EQ(r.calls, (std::vector<unsigned int>{ ULOOP_READ }));
	EXPECT_TRUE(r.u.error);
	EXPECT_FALSE(r.u.registered);
}

} // namespace
