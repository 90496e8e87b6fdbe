// uloop descriptors: readiness as epoll reports it, hang-ups and errors,
// and records withdrawn while events for them are pending.
#include "uloop_fixture.h"

#include <fcntl.h>
#include <sys/socket.h>

#include <algorithm>
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

static bool nonblocking(int fd)
{
	return fcntl(fd, F_GETFL) & O_NONBLOCK;
}

TEST_F(UloopFd, AddMakesTheDescriptorNonBlockingUnlessAskedNotTo)
{
	test_pipe a, b;
	watched wa, wb;

	ASSERT_FALSE(nonblocking(a.r));
	watch(wa, a.r, ULOOP_READ);
	EXPECT_TRUE(nonblocking(a.r));
	EXPECT_TRUE(wa.u.registered);
	EXPECT_EQ(wa.u.flags, ULOOP_READ);

	watch(wb, b.r, ULOOP_READ | ULOOP_BLOCKING);
	EXPECT_FALSE(nonblocking(b.r));

	// no interest left: the same as a delete
	EXPECT_EQ(uloop_fd_add(&wa.u, 0), 0);
	EXPECT_FALSE(wa.u.registered);
	uloop_fd_delete(&wb.u);
}

TEST_F(UloopFd, LevelTriggeredRepeatsWhileDataIsUnread)
{
	test_pipe p, q;
	watched r, w;

	watch(r, p.r, ULOOP_READ);
	watch(w, q.w, ULOOP_WRITE);
	rounds(2);
	EXPECT_TRUE(r.calls.empty());
	EXPECT_EQ(w.calls, (std::vector<unsigned int>{ ULOOP_WRITE, ULOOP_WRITE }));
	uloop_fd_delete(&w.u);

	p.put("x");
	rounds(3);
	EXPECT_EQ(r.calls, (std::vector<unsigned int>{ ULOOP_READ, ULOOP_READ, ULOOP_READ }));

	r.read_all = true;
	rounds(3);
	EXPECT_EQ(r.calls.size(), 4u) << "called again after the data was read";
	uloop_fd_delete(&r.u);
}

TEST_F(UloopFd, EdgeTriggeredOnlyOnNewData)
{
	test_pipe p;
	watched r;

	watch(r, p.r, ULOOP_READ | ULOOP_EDGE_TRIGGER);
	p.put("x");
	rounds(3);
	EXPECT_EQ(r.calls.size(), 1u);
	p.put("y");
	rounds(3);
	EXPECT_EQ(r.calls.size(), 2u);
	uloop_fd_delete(&r.u);
}

// The writer went away with nothing left to read: the callback learns it
// once, with an empty mask, and the descriptor is out of the loop.
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

// Data still buffered: the one call carries ULOOP_READ so it can be read.
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

TEST_F(UloopFd, ErrorCallbackFlagKeepsTheDescriptor)
{
	test_pipe p;
	watched r;

	watch(r, p.r, ULOOP_READ | ULOOP_ERROR_CB);
	p.close_writer();
	rounds(2);

	EXPECT_EQ(r.calls, (std::vector<unsigned int>{ 0, 0 }));
	EXPECT_TRUE(r.u.error);
	EXPECT_TRUE(r.u.registered);
	uloop_fd_delete(&r.u);
}

TEST_F(UloopFd, PeerShutdownSetsEof)
{
	int sv[2];
	ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
	watched r;

	watch(r, sv[0], ULOOP_READ);
	shutdown(sv[1], SHUT_WR);
	rounds(1);

	EXPECT_EQ(r.calls, (std::vector<unsigned int>{ ULOOP_READ }));
	EXPECT_TRUE(r.u.eof);
	EXPECT_FALSE(r.u.error);
	EXPECT_TRUE(r.u.registered);
	uloop_fd_delete(&r.u);
	close(sv[0]);
	close(sv[1]);
}

// Both descriptors are ready in the same batch; whichever callback runs
// first withdraws the other, whose pending event must then be dropped.
static watched pair[2];

static void withdraw_partner(struct uloop_fd *u, unsigned int events)
{
	on_event(u, events);
	uloop_fd_delete(&pair[0].u);
	uloop_fd_delete(&pair[1].u);
}

TEST_F(UloopFd, WithdrawnRecordGetsNoPendingEvent)
{
	test_pipe a, b;

	for (auto &w : pair)
		w = watched();
	watch(pair[0], a.r, ULOOP_READ);
	watch(pair[1], b.r, ULOOP_READ);
	pair[0].u.cb = pair[1].u.cb = withdraw_partner;
	a.put("a");
	b.put("b");

	rounds(3);
	EXPECT_EQ(pair[0].calls.size() + pair[1].calls.size(), 1u);
}

// An edge-triggered callback that runs a nested loop is not re-entered
// for its own descriptor; the new event follows once it returns.
static watched nested;
static int nested_writer = -1;
static int depth, max_depth;

static void run_nested(struct uloop_fd *u, unsigned int events)
{
	max_depth = std::max(max_depth, ++depth);
	on_event(u, events);
	if (nested.calls.size() == 1) {
		// new data while this callback is still running
		if (write(nested_writer, "y", 1) != 1)
			ADD_FAILURE() << "write";
		uloop_run_timeout(0);
		uloop_run_timeout(0);
	}
	depth--;
}

TEST_F(UloopFd, EdgeTriggeredCallbackIsNotReentered)
{
	test_pipe p;

	nested = watched();
	depth = max_depth = 0;
	nested_writer = p.w;
	watch(nested, p.r, ULOOP_READ | ULOOP_EDGE_TRIGGER);
	nested.u.cb = run_nested;
	p.put("x");
	rounds(1);

	EXPECT_EQ(max_depth, 1);
	EXPECT_EQ(nested.calls, (std::vector<unsigned int>{ ULOOP_READ, ULOOP_READ }));
	uloop_fd_delete(&nested.u);
}

} // namespace
