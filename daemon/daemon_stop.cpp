#include "daemon_stop.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include "signal_text.h"

constexpr size_t STOP_TEXT_SIZE = 160;  // the stop message with its number
constexpr size_t WAKE_DRAIN_SIZE = 16;  // wake-up bytes read at a time

static const char *stop_message;
static volatile sig_atomic_t stop_signalled;

static const char *bus_lost_message;
static bool bus_lost;

// A stop writes one byte here and the loop watches the read end: the loop
// tests uloop_cancelled and then waits, and a stop that lands in between
// would otherwise be seen only at the next event, if one ever comes.
// Close-on-exec, so that a child program never holds it.
static int wake_pipe[2] = { -1, -1 };
static struct uloop_fd wake_fd;

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

static void wake_loop(void)
{
	char byte = 0;

	if (wake_pipe[1] >= 0 && write(wake_pipe[1], &byte, 1) < 0) {
		// full: a wake-up is waiting already
	}
}

// Runs asynchronously to the loop: only write(2) and plain stores here.
static void stop_signal_handler(int signo)
{
	if (signo != SIGINT && signo != SIGTERM)
		return;

	int saved_errno = errno;

	if (stop_message) {
		char text[STOP_TEXT_SIZE];
		size_t len = format_signal_text(text, sizeof(text), stop_message, signo);

		write_all(STDERR_FILENO, text, len);
	}
	stop_signalled = 1;
	uloop_cancelled = true;
	wake_loop();
	errno = saved_errno;
}

void daemon_stop_install(const char *message)
{
	stop_message = message;
	// Without the pipe a stop still ends the loop at its next event.
	if (pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) < 0)
		wake_pipe[0] = wake_pipe[1] = -1;
	signal(SIGINT, stop_signal_handler);
	signal(SIGTERM, stop_signal_handler);
}

static bool stopping(void)
{
	return stop_signalled || bus_lost;
}

// uloop_run_timeout() clears uloop_cancelled as it starts, so a stop that
// came between our check and that point is put back here: its byte makes
// the first wait return at once.
static void wake_fd_cb(struct uloop_fd *fd, unsigned int)
{
	char bytes[WAKE_DRAIN_SIZE];

	while (read(fd->fd, bytes, sizeof(bytes)) > 0)
		;
	if (stopping())
		uloop_cancelled = true;
}

static void bus_lost_cb(struct ubus_context *)
{
	if (bus_lost_message)
		fputs(bus_lost_message, stderr);
	bus_lost = true;
	uloop_cancelled = true;
	wake_loop();
}

void daemon_stop_watch_bus(struct ubus_context *ctx, const char *message)
{
	bus_lost_message = message;
	ctx->connection_lost = bus_lost_cb;
}

void daemon_stop_run_loop(void)
{
	if (stopping())
		return;
	if (wake_pipe[0] >= 0) {
		wake_fd.fd = wake_pipe[0];
		wake_fd.cb = wake_fd_cb;
		uloop_fd_add(&wake_fd, ULOOP_READ);
	}
	uloop_run_timeout(-1);
	if (wake_fd.registered)
		uloop_fd_delete(&wake_fd);
}

bool daemon_stop_signalled(void)
{
	return stop_signalled != 0;
}

bool daemon_stop_bus_lost(void)
{
	return bus_lost;
}

void daemon_stop_release(void)
{
	int read_end = wake_pipe[0], write_end = wake_pipe[1];

	// Forgotten before closed: a handler that runs in between finds no
	// descriptor to write to, rather than one closed or reused.
	wake_pipe[0] = wake_pipe[1] = -1;
	if (write_end >= 0)
		close(write_end);
	if (read_end >= 0)
		close(read_end);
}
