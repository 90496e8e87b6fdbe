// calloc_a: one zeroed allocation carved into a record and extra areas.
extern "C" {
#include <libubox/utils.h>
}

#include <stdarg.h>
#include <stdlib.h>

// Every area starts on a pointer-sized boundary.
static size_t area_size(size_t len)
{
	return (len + sizeof(void *) - 1) & ~(sizeof(void *) - 1);
}

extern "C" void *__calloc_a(size_t len, ...)
{
	va_list ap;
	size_t total = area_size(len);

	va_start(ap, len);
	for (void **addr = va_arg(ap, void **); addr; addr = va_arg(ap, void **))
		total += area_size(va_arg(ap, size_t));
	va_end(ap);

	char *ret = (char *) calloc(1, total);
	if (!ret)
		return NULL;

	char *cur = ret + area_size(len);
	va_start(ap, len);
	for (void **addr = va_arg(ap, void **); addr; addr = va_arg(ap, void **)) {
		*addr = cur;
		cur += area_size(va_arg(ap, size_t));
	}
	va_end(ap);

	return ret;
}
