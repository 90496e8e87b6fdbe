// linetap's input: the logread stream on standard input, read as the
// loop reports it readable, filtered by severity and published line by
// line. The end of the stream or a read error stops the loop.
#pragma once

// Adds standard input to the loop; false when the loop refuses it.
bool log_intake_start(void);

// Takes standard input out of the loop and closes it.
void log_intake_stop(void);
