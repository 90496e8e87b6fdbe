// The frame both telemetry daemons stand on: one bus connection, one
// telemetry object without methods, one blob buffer for notifications,
// and the stops of daemon_stop.h: a stop signal or the loss of the bus.
//
// Each daemon describes itself with a telemetry_daemon table (its object
// name, notification type, section table and messages) and keeps its own
// start-up sequence, since exit statuses and teardown differ:
//
//	telemetry_frame_init(&my_daemon);
//	if (!telemetry_loop_init())              -> exit 1
//	if (!telemetry_bus_connect())            -> exit 1
//	int ret = telemetry_register_object();   -> on ret != 0: teardown, exit
//	telemetry_buffer_init();
//	... open the input source ...
//	daemon_stop_run_loop();
//	... close the input source ...
//	telemetry_close();                       -> exit 1 if daemon_stop_bus_lost()
//
// A notification is built and sent as
//
//	struct blob_buf *buf = telemetry_status_begin();
//	blobmsg_add_string(buf, "key", value); ...
//	telemetry_status_end();
//	int ret = telemetry_status_notify();     // 0 or a bus status code
#pragma once

extern "C" {
#include <libubox/blobmsg.h>
#include <libubox/uloop.h>
#include <libubus.h>
}

// The texts are held in the table itself, not pointed to: in a
// position-independent program every pointer in a constant table costs a
// load-time relocation (24 bytes on the device) and keeps the table out of
// read-only memory. Each field fits the longer of the two daemons' texts;
// a longer one fails to compile.
struct telemetry_daemon {
	char object_name[18];            // also the object type's name
	char notification_type[8];       // method name passed to ubus_notify
	char section[14];                // the one table inside "data"
	char subscribers_message[72];    // %d: has_subscribers as 0 or 1
	char stop_message[40];           // %d: the signal number
	char loop_failed_message[40];
	char connect_failed_message[32];
	char register_failed_message[48]; // %s: the bus error text
	char bus_lost_message[32];
};

// Remembers the daemon's table; call first, before any other function here.
void telemetry_frame_init(const struct telemetry_daemon *info);

// Makes SIGINT and SIGTERM print the stop message and end the event loop,
// and initialises the loop (daemon_stop_init_loop()). On failure prints the
// loop message and returns false.
bool telemetry_loop_init(void);

// Connects to the broker's default socket and adds the connection to the
// loop; losing it later prints the lost-connection message and ends the
// loop. On failure prints the connection message and returns false.
bool telemetry_bus_connect(void);

// Registers the telemetry object. Returns the bus status; on failure the
// registration message has been printed.
int telemetry_register_object(void);

void telemetry_buffer_init(void);

bool telemetry_has_subscribers(void);

// Frees the bus connection only (for a failed registration).
void telemetry_bus_free(void);

// Removes the object, frees the connection and the blob buffer. Harmless
// on an object that never registered and a buffer never initialised.
void telemetry_close(void);

// Re-initialises the blob buffer with "msg_type" = "status" and opens the
// tables "data" and the daemon's section; add the section's fields to the
// buffer returned.
struct blob_buf *telemetry_status_begin(void);

// Closes the section table, then "data".
void telemetry_status_end(void);

// Sends the buffer as the daemon's notification without waiting for
// replies; returns ubus_notify's result.
int telemetry_status_notify(void);
