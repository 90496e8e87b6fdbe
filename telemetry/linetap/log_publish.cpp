#include "log_publish.h"

#include <stdio.h>

#include "log_shape.h"
#include "telemetry_frame.h"

void publish_log_line(const char *line)
{
	struct log_shape shape;

	log_shape_line(line, &shape);

	struct blob_buf *buf = telemetry_status_begin();
	if (shape.has_timestamp)
		blobmsg_add_u64(buf, "timestamp", shape.timestamp);
	blobmsg_add_string(buf, "message", shape.message);
	telemetry_status_end();

	if (!telemetry_has_subscribers())
		return;

	int ret = telemetry_status_notify();
	if (ret)
		fprintf(stderr, "Erreur ubus_notify: %s\n", ubus_strerror(ret));
}
