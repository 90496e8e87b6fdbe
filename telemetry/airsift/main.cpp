// airsift: publishes a summary of every Wi-Fi scan posted on the scan-result
// queue as an "airsift" notification of the bus object "telemetry_airsift".

#include <stdio.h>

#include "daemon_stop.h"
#include "scan_queue.h"
#include "telemetry_frame.h"

static const struct telemetry_daemon airsift = {
	"telemetry_airsift",
	"airsift",
	"wireless_scan",
	"UBus airsift_ubus_telemetry: loading subscribers (has_subscribers=%d)\n",
	"Signal %d received, stopping daemon...\n",
	"Failed to initialize uloop\n",
	"Failed to connect to ubus\n",
	"Failed to register the ubus object: %s\n",
	"Lost connection to ubus\n",
};

int main(void)
{
	telemetry_frame_init(&airsift);
	if (!telemetry_loop_init() || !telemetry_bus_connect())
		return 1;

	int status = telemetry_register_object();
	if (status == 0) {
		telemetry_buffer_init();
		if (scan_queue_open()) {
			scan_queue_start_polling();
			fputs("Daemon started. Listening for messages...\n", stderr);
			daemon_stop_run_loop();
			// Off the bus nothing it reads gets out: fail, so that the
			// service manager starts it again on the new broker.
			if (daemon_stop_bus_lost())
				status = 1;
		} else {
			status = 1;
		}
	}

	scan_queue_stop_polling();
	telemetry_close();
	return status;
}
