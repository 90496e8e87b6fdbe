// The "syslog" notification of telemetry_linetap.
#pragma once

// Sends line, split into stamp and escaped message, to the subscribers of
// the telemetry object; does nothing visible while there are none.
void publish_log_line(const char *line);
