#include "daemon_stop.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

extern "C" {
#include <libubox/uloop.h>
}

constexpr int STOP_SIGNAL_NUMBERS[] = { SIGINT, SIGTERM };
constexpr size_t STOP_SIGNAL_COUNT = sizeof(STOP_SIGNAL_NUMBERS) / sizeof(STOP_SIGNAL_NUMBERS[0]);
constexpr size_t STOP_TEXT_SIZE = 160; // a stop message with its number

struct stop_signal {
	// The loop's own delivery of the signal, which the handler passes the
	// signal on to: its byte wakes a wait that began after the loop last
	// tested uloop_cancelled, and the loop then runs stop_delivered_cb.
	struct uloop_signal delivery;
	void (*loop_handler)(int);
	// The stop message, formatted at install: the handler only writes it.
	size_t text_len;
	char text[STOP_TEXT_SIZE];
};

static struct stop_signal stop_signals[STOP_SIGNAL_COUNT];
static volatile sig_atomic_t stop_signalled;

static const char *bus_lost_message;
static bool bus_lost;

static void write_all(int fd, const char *text, size_t len)
{
	while (len > 0) {
		ssize_t n = write(fd, text, len);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return;
		text += n;
		len -= (size_t)n;
	}
}

// Runs asynchronously to the loop: only write(2) and plain stores here,
// and the loop's own handler, which is no more.
static void stop_signal_handler(int signo)
{
	int saved_errno = errno;

	for (size_t i = 0; i < STOP_SIGNAL_COUNT; i++) {
		struct stop_signal *stop = &stop_signals[i];

		if (stop->delivery.signo != signo)
			continue;
		write_all(STDERR_FILENO, stop->text, stop->text_len);
		stop_signalled = 1;
		uloop_cancelled = true;
		if (stop->loop_handler)
			stop->loop_handler(signo);
	}
	errno = saved_errno;
}

// uloop_run_timeout() clears uloop_cancelled as it starts: a stop that came
// between daemon_stop_run_loop()'s test and that point is put back here.
static void stop_delivered_cb(struct uloop_signal *)
{
	uloop_cancelled = true;
}

static void install_stop_signal(struct stop_signal *stop, int signo, const char *message)
{
	if (message) {
		snprintf(stop->text, sizeof(stop->text), message, signo);
		stop->text_len = strlen(stop->text);
	}
	stop->delivery.signo = signo;
	stop->delivery.cb = stop_delivered_cb;
	// First the loop's delivery, then ours in its place, passing on to the
	// handler the loop put there.
	uloop_signal_add(&stop->delivery);
	void (*previous)(int) = signal(signo, stop_signal_handler);
	if (previous != stop_signal_handler && previous != SIG_DFL && previous != SIG_IGN &&
	    previous != SIG_ERR)
		stop->loop_handler = previous;
}

bool daemon_stop_init_loop(const char *message)
{
	sigset_t stops;

	sigemptyset(&stops);
	for (size_t i = 0; i < STOP_SIGNAL_COUNT; i++)
		sigaddset(&stops, STOP_SIGNAL_NUMBERS[i]);
	// Held until the loop can hear them: in between, the loop's delivery
	// alone may be in place, and its wake-up byte has no pipe to go to yet.
	sigprocmask(SIG_BLOCK, &stops, NULL);
	for (size_t i = 0; i < STOP_SIGNAL_COUNT; i++)
		install_stop_signal(&stop_signals[i], STOP_SIGNAL_NUMBERS[i], message);
	// Only now: uloop_init() leaves handlers it finds in place, while its
	// own would set a stop that the loop forgets as it starts.
	bool initialised = uloop_init() == 0;
	sigprocmask(SIG_UNBLOCK, &stops, NULL);
	return initialised;
}

static bool stopping(void)
{
	return stop_signalled || bus_lost;
}

static void bus_lost_cb(struct ubus_context *)
{
	if (bus_lost_message)
		fputs(bus_lost_message, stderr);
	bus_lost = true;
	uloop_cancelled = true;
}

void daemon_stop_watch_bus(struct ubus_context *ctx, const char *message)
{
	bus_lost_message = message;
	ctx->connection_lost = bus_lost_cb;
}

void daemon_stop_run_loop(void)
{
	if (!stopping())
		uloop_run_timeout(-1);
}

bool daemon_stop_signalled(void)
{
	return stop_signalled != 0;
}

bool daemon_stop_bus_lost(void)
{
	return bus_lost;
}
