// Severity of one line of the logread stream.
#pragma once

// The second number after the bracketed stamp ("[1234.567] 3|4| text"
// gives 4), or -1 when the line does not have that shape. Prints what it
// found to standard error.
int extract_severity(const char *line);
