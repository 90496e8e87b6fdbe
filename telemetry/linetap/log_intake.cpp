#include "log_intake.h"

extern "C" {
#include <libubox/uloop.h>
}

#include <errno.h>
#include <stdio.h>
#include <unistd.h>

#include "daemon_stop.h"
#include "line_assembly.h"
#include "log_publish.h"
#include "log_severity.h"
#include "uci_readers.h"

constexpr size_t READ_CHUNK_SIZE = 256;

static struct uloop_fd log_fd;

void log_intake_line_cb(const char *line, void *arg)
{
	int threshold = *(const int *)arg;
	int severity = extract_severity(line);

	if (threshold < severity) {
		fprintf(stderr, "Log rejected: severity %d, min required %d)\n", severity, threshold);
		return;
	}
	fprintf(stderr, "Log accepted: %s (severity %d, min required %d)\n", line, severity, threshold);
	publish_log_line(line);
}

static bool retry_later(int err)
{
	return err == EINTR || err == EAGAIN || err == EWOULDBLOCK;
}

static void log_fd_cb(struct uloop_fd *u, unsigned int events)
{
	int threshold = uci_get_int("luci_statistics", "linetap_ubus_telemetry", "min_severity", 4);

	// Once the writer has gone the loop flags the record, may already have
	// dropped it and calls once more, with ULOOP_READ only if data is still
	// waiting. Nothing else will call: read on here until the end is seen.
	bool draining = u->error || u->eof;

	if (!(events & ULOOP_READ) && !draining)
		return;

	do {
		char chunk[READ_CHUNK_SIZE];
		ssize_t n = read(0, chunk, sizeof(chunk));

		if (n == 0) {
			fputs("Fin du flux logread, arrêt...\n", stderr);
			uloop_end();
			return;
		}
		if (n < 0) {
			// Standard input is non-blocking in the loop: a wake-up without
			// data, or a signal, is not the end of the stream.
			if (errno == EINTR && draining)
				continue;
			if (retry_later(errno) && u->registered)
				return;
			perror("Erreur de lecture du flux logread");
			uloop_end();
			return;
		}
		assemble_log_chunk(chunk, (size_t)n, log_intake_line_cb, &threshold);
	} while (draining && !daemon_stop_signalled());
}

bool log_intake_start(void)
{
	log_fd.cb = log_fd_cb;
	log_fd.fd = 0;
	log_fd.flags = ULOOP_READ;
	return uloop_fd_add(&log_fd, ULOOP_READ) >= 0;
}

void log_intake_stop(void)
{
	if (log_fd.fd < 0)
		return;
	uloop_fd_delete(&log_fd);
	close(log_fd.fd);
}
