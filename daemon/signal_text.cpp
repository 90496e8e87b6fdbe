#include "signal_text.h"

size_t format_signal_text(char *out, size_t size, const char *format, int number)
{
	size_t len = 0;
	bool number_done = false;

	if (size == 0)
		return 0;

	for (const char *p = format; *p && len + 1 < size; p++) {
		if (!number_done && p[0] == '%' && p[1] == 'd') {
			char digits[12];
			size_t n = 0;
			// Negate in unsigned arithmetic: INT_MIN has no positive int.
			unsigned int magnitude = number < 0 ? 0u - (unsigned int)number : (unsigned int)number;

			do {
				digits[n++] = (char)('0' + magnitude % 10);
				magnitude /= 10;
			} while (magnitude);
			if (number < 0)
				digits[n++] = '-';
			while (n && len + 1 < size)
				out[len++] = digits[--n];
			number_done = true;
			p++;
			continue;
		}
		out[len++] = *p;
	}
	out[len] = '\0';
	return len;
}
