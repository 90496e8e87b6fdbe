// gpio-watch: records what the kernel reports about the lines of some GPIO
// chips while another program uses them, one event a line on stdout:
//   <chip index> <offset> requested|released|reconfigured input|output active_low=0|1 "<consumer>"
//
//   opened <file name>
//
//   gpio-watch [-h <offset>] [-o <folder>] <ready file> <chip path>...
//
// Once every line is watched it creates the ready file. On SIGTERM it
// requests and releases the last line of each chip (as is, so no level or
// direction changes) and exits when all those releases came back: the
// kernel delivers a chip's events in order, so by then every earlier event
// has been read. -h holds that line of the first chip as an input for the
// whole run, as a second user of the chip would. -o also reports every file
// opened in the folder; the kernel queues those events as the file is opened,
// so they are all waiting by the time the stop comes.

#include <errno.h>
#include <fcntl.h>
#include <gpiod.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <unistd.h>

static constexpr int MAX_CHIPS = 4;
static constexpr int STOP_TIMEOUT_MS = 10000;
static const char mark_consumer[] = "gpio-watch-mark";

static volatile sig_atomic_t stop_requested;

static void stop_cb(int)
{
	stop_requested = 1;
}

struct watched_chip {
	gpiod_chip *chip;
	unsigned int mark; // the line used to flush the event queue
	bool mark_released;
};

static gpiod_line_request *request_line(gpiod_chip *chip, unsigned int offset,
					 gpiod_line_direction direction, const char *consumer)
{
	gpiod_line_settings *settings = gpiod_line_settings_new();
	gpiod_line_config *config = gpiod_line_config_new();
	gpiod_request_config *request_config = gpiod_request_config_new();
	gpiod_line_request *request = NULL;
	if (settings && config && request_config) {
		gpiod_line_settings_set_direction(settings, direction);
		gpiod_request_config_set_consumer(request_config, consumer);
		if (gpiod_line_config_add_line_settings(config, &offset, 1, settings) == 0)
			request = gpiod_chip_request_lines(chip, request_config, config);
	}
	gpiod_request_config_free(request_config);
	gpiod_line_config_free(config);
	gpiod_line_settings_free(settings);
	return request;
}

static const char *event_name(gpiod_info_event_type type)
{
	switch (type) {
	case GPIOD_INFO_EVENT_LINE_REQUESTED:
		return "requested";
	case GPIOD_INFO_EVENT_LINE_RELEASED:
		return "released";
	case GPIOD_INFO_EVENT_LINE_CONFIG_CHANGED:
		return "reconfigured";
	}
	return "?";
}

// Prints one event, or notes the release of the chip's mark line.
static void report_event(int index, watched_chip *watched)
{
	gpiod_info_event *event = gpiod_chip_read_info_event(watched->chip);
	if (!event) {
		perror("gpio-watch: reading an event");
		exit(1);
	}
	gpiod_info_event_type type = gpiod_info_event_get_event_type(event);
	gpiod_line_info *info = gpiod_info_event_get_line_info(event);
	unsigned int offset = gpiod_line_info_get_offset(info);
	if (offset == watched->mark) {
		if (type == GPIOD_INFO_EVENT_LINE_RELEASED)
			watched->mark_released = true;
	} else {
		const char *consumer = gpiod_line_info_get_consumer(info);
		printf("%d %u %s %s active_low=%d \"%s\"\n", index, offset, event_name(type),
		       gpiod_line_info_get_direction(info) == GPIOD_LINE_DIRECTION_OUTPUT ? "output" : "input",
		       gpiod_line_info_is_active_low(info) ? 1 : 0, consumer ? consumer : "");
		fflush(stdout);
	}
	gpiod_info_event_free(event);
}

static void watch_all_lines(gpiod_chip *chip, watched_chip *watched)
{
	gpiod_chip_info *info = gpiod_chip_get_info(chip);
	if (!info) {
		perror("gpio-watch: chip info");
		exit(1);
	}
	size_t lines = gpiod_chip_info_get_num_lines(info);
	gpiod_chip_info_free(info);
	for (unsigned int offset = 0; offset < lines; offset++) {
		gpiod_line_info *line = gpiod_chip_watch_line_info(chip, offset);
		if (!line) {
			perror("gpio-watch: watching a line");
			exit(1);
		}
		gpiod_line_info_free(line);
	}
	watched->chip = chip;
	watched->mark = lines - 1;
}

// Reports the opens queued so far; the descriptor does not block.
static void report_opens(int opens)
{
	alignas(inotify_event) char buffer[4096];
	ssize_t length;
	while ((length = read(opens, buffer, sizeof(buffer))) > 0) {
		for (ssize_t at = 0; at < length;) {
			const inotify_event *event = (const inotify_event *)(buffer + at);
			if (event->len)
				printf("opened %s\n", event->name);
			at += sizeof(inotify_event) + event->len;
		}
	}
	fflush(stdout);
}

static bool all_marks_released(const watched_chip *chips, int count)
{
	for (int i = 0; i < count; i++)
		if (!chips[i].mark_released)
			return false;
	return true;
}

int main(int argc, char **argv)
{
	int hold = -1;
	const char *opens_folder = NULL;
	int opt;
	while ((opt = getopt(argc, argv, "h:o:")) != -1) {
		if (opt == 'h')
			hold = atoi(optarg);
		else if (opt == 'o')
			opens_folder = optarg;
		else
			return 2;
	}
	int count = argc - optind - 1;
	if (count < 1 || count > MAX_CHIPS) {
		fputs("usage: gpio-watch [-h <offset>] [-o <folder>] <ready file> <chip path>...\n", stderr);
		return 2;
	}
	const char *ready_path = argv[optind];

	// SIGTERM is only let in while waiting, so a stop is never missed.
	sigset_t blocked, waiting;
	sigemptyset(&blocked);
	sigaddset(&blocked, SIGTERM);
	sigprocmask(SIG_BLOCK, &blocked, &waiting);
	signal(SIGTERM, stop_cb);

	watched_chip chips[MAX_CHIPS] = {};
	pollfd fds[MAX_CHIPS + 1];
	for (int i = 0; i < count; i++) {
		const char *path = argv[optind + 1 + i];
		gpiod_chip *chip = gpiod_chip_open(path);
		if (!chip) {
			fprintf(stderr, "gpio-watch: %s: %s\n", path, strerror(errno));
			return 1;
		}
		if (i == 0 && hold >= 0 &&
		    !request_line(chip, hold, GPIOD_LINE_DIRECTION_INPUT, "holder")) {
			perror("gpio-watch: holding a line");
			return 1;
		}
		watch_all_lines(chip, &chips[i]);
		fds[i] = {gpiod_chip_get_fd(chip), POLLIN, 0};
	}
	int opens = -1;
	if (opens_folder) {
		opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
		if (opens < 0 || inotify_add_watch(opens, opens_folder, IN_OPEN) < 0) {
			perror("gpio-watch: watching opens");
			return 1;
		}
	}
	fds[count] = {opens, POLLIN, 0}; // poll skips a negative descriptor

	int ready = open(ready_path, O_WRONLY | O_CREAT, 0644);
	if (ready < 0) {
		perror("gpio-watch: ready file");
		return 1;
	}
	close(ready);

	bool marking = false;
	while (!marking || !all_marks_released(chips, count)) {
		if (stop_requested && !marking) {
			marking = true;
			for (int i = 0; i < count; i++) {
				gpiod_line_request *mark = request_line(chips[i].chip, chips[i].mark,
									GPIOD_LINE_DIRECTION_AS_IS, mark_consumer);
				if (!mark) {
					perror("gpio-watch: requesting the mark line");
					return 1;
				}
				gpiod_line_request_release(mark);
			}
		}
		timespec limit = {STOP_TIMEOUT_MS / 1000, 0};
		int ready_fds = ppoll(fds, count + 1, marking ? &limit : NULL, &waiting);
		if (ready_fds < 0 && errno == EINTR)
			continue;
		if (ready_fds <= 0) {
			fputs("gpio-watch: the events stopped coming\n", stderr);
			return 1;
		}
		for (int i = 0; i < count; i++)
			if (fds[i].revents & POLLIN)
				report_event(i, &chips[i]);
		if (fds[count].revents & POLLIN)
			report_opens(opens);
	}
	if (opens >= 0)
		report_opens(opens);
	return 0;
}
