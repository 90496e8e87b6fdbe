// Settings read from the uci store at the moment of use: every call opens
// its own context, looks up "package.section.option" and frees it all, so
// a changed setting applies at the next call. Messages go to standard
// error, prefixed with the reader's name, and end without a newline. An
// option counts only in a named section: one of an anonymous section, found
// through the name uci generated for it, is missing.
#pragma once

// The option's text as an int (atoi), or def when it is missing.
int uci_get_int_value(const char *package, const char *section, const char *option, int def);
int uci_get_int(const char *package, const char *section, const char *option, int def);

// A copy of the option's text (the caller frees it), or NULL.
char *uci_get_string_value(const char *package, const char *section, const char *option);
