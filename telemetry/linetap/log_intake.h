// linetap's input: the logread stream on standard input, read as the
// loop reports it readable, filtered by severity and published line by
// line. The end of the stream or a read error stops the loop.
#pragma once

// The line handler each read gives assemble_log_chunk(): arg points to
// the int threshold read for that read. Prints the verdict and publishes the
// line when its severity is not above the threshold.
void log_intake_line_cb(const char *line, void *arg);

// Adds standard input to the loop; false when the loop refuses it.
bool log_intake_start(void);

// Takes standard input out of the loop and closes it.
void log_intake_stop(void);
