// uloop timers (monotonic clock, millisecond resolution for callers) and
// child process callbacks.
extern "C" {
#include <libubox/uloop.h>
}

#include <errno.h>
#include <limits.h>
#include <sys/wait.h>
#include <time.h>

#include "uloop_private.h"

// both kept in order: timeouts by expiry (equal expiries in the order
// they were set), processes by pid
static struct list_head timeouts = LIST_HEAD_INIT(timeouts);
static struct list_head processes = LIST_HEAD_INIT(processes);

void uloop_gettime(struct timeval *tv)
{
	struct timespec ts;

	clock_gettime(CLOCK_MONOTONIC, &ts);
	tv->tv_sec = ts.tv_sec;
	tv->tv_usec = ts.tv_nsec / 1000;
}

static int64_t tv_diff_us(const struct timeval *a, const struct timeval *b)
{
	return (int64_t) (a->tv_sec - b->tv_sec) * 1000000 + (a->tv_usec - b->tv_usec);
}

// microseconds to milliseconds, rounded up so no wait ends early
static int64_t us_to_ms_up(int64_t us)
{
	if (us <= 0)
		return -(-us / 1000);
	return (us + 999) / 1000;
}

int uloop_timeout_add(struct uloop_timeout *timeout)
{
	struct list_head *pos;

	if (timeout->pending)
		return -1;

	list_for_each(pos, &timeouts) {
		struct uloop_timeout *cur = list_entry(pos, struct uloop_timeout, list);

		if (tv_diff_us(&cur->time, &timeout->time) > 0)
			break;
	}
	list_add_tail(&timeout->list, pos);
	timeout->pending = true;
	return 0;
}

int uloop_timeout_set(struct uloop_timeout *timeout, int msecs)
{
	struct timeval *time = &timeout->time;
	int64_t usec;

	if (timeout->pending)
		uloop_timeout_cancel(timeout);

	uloop_gettime(time);
	usec = time->tv_usec + (int64_t) msecs * 1000;
	time->tv_sec += usec / 1000000;
	time->tv_usec = usec % 1000000;
	if (time->tv_usec < 0) {
		time->tv_sec--;
		time->tv_usec += 1000000;
	}

	return uloop_timeout_add(timeout);
}

int uloop_timeout_cancel(struct uloop_timeout *timeout)
{
	if (!timeout->pending)
		return -1;

	list_del(&timeout->list);
	timeout->pending = false;
	return 0;
}

int64_t uloop_timeout_remaining64(struct uloop_timeout *timeout)
{
	struct timeval now;

	if (!timeout->pending)
		return -1;

	uloop_gettime(&now);
	return us_to_ms_up(tv_diff_us(&timeout->time, &now));
}

int uloop_timeout_remaining(struct uloop_timeout *timeout)
{
	int64_t ms = uloop_timeout_remaining64(timeout);

	return ms > INT_MAX ? INT_MAX : (int) ms;
}

// Runs every timer due now; one set again from its callback for "now"
// waits for the next round, and a cancelled loop stops at once.
void uloop_run_expired_timeouts(void)
{
	struct timeval now;

	uloop_gettime(&now);
	while (!list_empty(&timeouts)) {
		struct uloop_timeout *t = list_first_entry(&timeouts, struct uloop_timeout, list);

		if (tv_diff_us(&t->time, &now) > 0)
			break;

		uloop_timeout_cancel(t);
		if (t->cb)
			t->cb(t);
		if (uloop_cancelled)
			break;
	}
}

// -1: no timer pending
int uloop_next_timeout_ms(void)
{
	struct uloop_timeout *first;
	struct timeval now;
	int64_t ms;

	if (list_empty(&timeouts))
		return -1;

	first = list_first_entry(&timeouts, struct uloop_timeout, list);
	uloop_gettime(&now);
	ms = us_to_ms_up(tv_diff_us(&first->time, &now));
	if (ms < 0)
		return 0;
	return ms > INT_MAX ? INT_MAX : (int) ms;
}

void uloop_clear_timeouts(void)
{
	struct uloop_timeout *t, *tmp;

	list_for_each_entry_safe(t, tmp, &timeouts, list)
		uloop_timeout_cancel(t);
}

int uloop_process_add(struct uloop_process *p)
{
	struct list_head *pos;

	if (p->pending)
		return -1;

	list_for_each(pos, &processes) {
		if (list_entry(pos, struct uloop_process, list)->pid > p->pid)
			break;
	}
	list_add_tail(&p->list, pos);
	p->pending = true;
	return 0;
}

int uloop_process_delete(struct uloop_process *p)
{
	if (!p->pending)
		return -1;

	list_del(&p->list);
	p->pending = false;
	return 0;
}

// Collects every exited child, so none stays a zombie, and reports those
// the program registered.
void uloop_reap_children(void)
{
	uloop_sigchld_pending = 0;

	for (;;) {
		struct uloop_process *p, *tmp;
		int status;
		pid_t pid = waitpid(-1, &status, WNOHANG);

		if (pid < 0 && errno == EINTR)
			continue;
		if (pid <= 0)
			return;

		list_for_each_entry_safe(p, tmp, &processes, list) {
			if (p->pid < pid)
				continue;
			if (p->pid > pid)
				break;
			uloop_process_delete(p);
			if (p->cb)
				p->cb(p, status);
		}
	}
}

void uloop_clear_processes(void)
{
	struct uloop_process *p, *tmp;

	list_for_each_entry_safe(p, tmp, &processes, list)
		uloop_process_delete(p);
}
