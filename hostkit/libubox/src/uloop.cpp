// uloop core: descriptors on epoll and the loop itself.
//
// Events are fetched in batches and handed out one callback at a time,
// with timers, child reaping and uloop_cancelled checked in between.
// A descriptor deleted while a batch is pending loses its pending event,
// so no callback runs for a record its owner already gave up.
extern "C" {
#include <libubox/uloop.h>
}

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/epoll.h>
#include <unistd.h>

#include "uloop_private.h"

bool uloop_cancelled;
bool uloop_handle_sigchld = true;
uloop_fd_handler uloop_fd_set_cb;

#define ULOOP_MAX_EVENTS 10

struct uloop_fd_event {
	struct uloop_fd *fd;
	unsigned int events;
};

// An edge-triggered descriptor whose callback is running (and may run a
// nested loop): further events for it are collected here and delivered
// when the callback returns, instead of re-entering it.
struct uloop_fd_stack {
	struct uloop_fd_stack *next;
	struct uloop_fd *fd;
	unsigned int events;
};

static int poll_fd = -1;
static struct uloop_fd_event cur_fds[ULOOP_MAX_EVENTS];
static int cur_fd, cur_nfds;
static struct uloop_fd_stack *fd_stack;
static int uloop_run_depth;

// true when the event was taken over by a running callback (events >= 0)
// or that callback's record was withdrawn (events < 0)
static bool uloop_fd_stack_event(struct uloop_fd *fd, int events)
{
	if (!(fd->flags & ULOOP_EDGE_TRIGGER))
		return false;

	for (struct uloop_fd_stack *cur = fd_stack; cur; cur = cur->next) {
		if (cur->fd != fd)
			continue;

		if (events < 0)
			cur->fd = NULL;
		else
			cur->events |= events | ULOOP_EVENT_BUFFERED;
		return true;
	}
	return false;
}

static int register_poll(struct uloop_fd *fd, unsigned int flags)
{
	struct epoll_event ev;
	int op = fd->registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;

	memset(&ev, 0, sizeof(ev));
	if (flags & ULOOP_READ)
		ev.events |= EPOLLIN | EPOLLRDHUP;
	if (flags & ULOOP_WRITE)
		ev.events |= EPOLLOUT;
	if (flags & ULOOP_EDGE_TRIGGER)
		ev.events |= EPOLLET;
	ev.data.ptr = fd;

	return epoll_ctl(poll_fd, op, fd->fd, &ev);
}

int uloop_fd_add(struct uloop_fd *sock, unsigned int flags)
{
	int ret;

	if (!(flags & (ULOOP_READ | ULOOP_WRITE)))
		return uloop_fd_delete(sock);

	if (!sock->registered && !(flags & ULOOP_BLOCKING)) {
		int fl = fcntl(sock->fd, F_GETFL, 0);

		if (fl >= 0 && !(fl & O_NONBLOCK))
			fcntl(sock->fd, F_SETFL, fl | O_NONBLOCK);
	}

	ret = register_poll(sock, flags);
	if (ret < 0)
		return ret;

	if (uloop_fd_set_cb)
		uloop_fd_set_cb(sock, flags);

	sock->flags = flags;
	sock->registered = true;
	sock->eof = false;
	sock->error = false;
	return 0;
}

int uloop_fd_delete(struct uloop_fd *fd)
{
	int ret;

	for (int i = 0; i < cur_nfds; i++) {
		if (cur_fds[cur_fd + i].fd == fd)
			cur_fds[cur_fd + i].fd = NULL;
	}

	if (!fd->registered)
		return 0;

	if (uloop_fd_set_cb)
		uloop_fd_set_cb(fd, 0);

	fd->registered = false;
	uloop_fd_stack_event(fd, -1);
	ret = epoll_ctl(poll_fd, EPOLL_CTL_DEL, fd->fd, NULL);
	fd->flags = 0;
	return ret;
}

// Waits up to timeout ms and turns what epoll reported into a batch.
// Errors and hang-ups mark the record and, unless it asked for
// ULOOP_ERROR_CB, take it out of the loop; its callback still runs once
// for this event, with ULOOP_READ only if there is data to read.
static int uloop_fetch_events(int timeout)
{
	struct epoll_event events[ULOOP_MAX_EVENTS];
	int nfds = epoll_wait(poll_fd, events, ULOOP_MAX_EVENTS, timeout);

	if (nfds < 0)
		return 0;

	for (int n = 0; n < nfds; n++) {
		struct uloop_fd_event *cur = &cur_fds[n];
		struct uloop_fd *u = (struct uloop_fd *) events[n].data.ptr;
		uint32_t ev = events[n].events;

		cur->fd = u;
		cur->events = 0;
		if (!u)
			continue;

		if (ev & (EPOLLERR | EPOLLHUP)) {
			u->error = true;
			if (!(u->flags & ULOOP_ERROR_CB))
				uloop_fd_delete(u);
		}

		if (!(ev & (EPOLLRDHUP | EPOLLIN | EPOLLOUT | EPOLLERR | EPOLLHUP))) {
			cur->fd = NULL;
			continue;
		}

		if (ev & EPOLLRDHUP)
			u->eof = true;
		if (ev & EPOLLIN)
			cur->events |= ULOOP_READ;
		if (ev & EPOLLOUT)
			cur->events |= ULOOP_WRITE;
	}

	return nfds;
}

// Delivers one event: from the current batch, or from a new one.
static void uloop_run_events(int timeout)
{
	if (!cur_nfds) {
		cur_fd = 0;
		cur_nfds = uloop_fetch_events(timeout);
	}

	while (cur_nfds > 0) {
		struct uloop_fd_event *cur = &cur_fds[cur_fd++];
		struct uloop_fd_stack stack_cur;
		struct uloop_fd *fd = cur->fd;
		unsigned int events = cur->events;

		cur_nfds--;
		if (!fd || !fd->cb)
			continue;

		if (uloop_fd_stack_event(fd, events))
			continue;

		stack_cur.next = fd_stack;
		stack_cur.fd = fd;
		fd_stack = &stack_cur;
		do {
			stack_cur.events = 0;
			fd->cb(fd, events);
			events = stack_cur.events & ULOOP_EVENT_MASK;
		} while (stack_cur.fd && events);
		fd_stack = stack_cur.next;

		return;
	}
}

int uloop_init(void)
{
	if (poll_fd >= 0)
		return 0;

	poll_fd = epoll_create1(EPOLL_CLOEXEC);
	if (poll_fd < 0)
		return -1;

	if (uloop_signals_init() < 0) {
		close(poll_fd);
		poll_fd = -1;
		return -1;
	}
	return 0;
}

bool uloop_cancelling(void)
{
	return uloop_run_depth > 0 && uloop_cancelled;
}

int uloop_run_timeout(int timeout)
{
	uloop_run_depth++;
	uloop_status = 0;
	uloop_cancelled = false;

	do {
		int next_time;

		uloop_run_expired_timeouts();
		if (uloop_sigchld_pending)
			uloop_reap_children();
		if (uloop_cancelled)
			break;

		next_time = uloop_next_timeout_ms();
		if (timeout >= 0 && (next_time < 0 || timeout < next_time))
			next_time = timeout;
		uloop_run_events(next_time);
	} while (!uloop_cancelled && timeout < 0);

	uloop_run_depth--;
	return uloop_status;
}

void uloop_done(void)
{
	uloop_signals_done();

	if (poll_fd >= 0) {
		close(poll_fd);
		poll_fd = -1;
	}

	uloop_clear_timeouts();
	uloop_clear_processes();
	cur_fd = cur_nfds = 0;
}
