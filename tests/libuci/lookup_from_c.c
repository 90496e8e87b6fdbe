/* The library used from C, as on the target: names at file scope. */
#include <stdio.h>
#include <string.h>

#include <uci.h>

int lookup_from_c(const char *confdir, char *path, char *value, size_t size);
int count_sections_from_c(const char *confdir, const char *package);

/* UCI_OK with the value copied, -1 when the path is not complete, or the
 * lookup's error. */
int lookup_from_c(const char *confdir, char *path, char *value, size_t size)
{
	struct uci_context *ctx = uci_alloc_context();
	struct uci_ptr ptr;
	int ret;

	if (!ctx)
		return UCI_ERR_MEM;
	memset(&ptr, 0, sizeof(ptr));
	uci_set_confdir(ctx, confdir);
	ret = uci_lookup_ptr(ctx, &ptr, path, true);
	if (ret == UCI_OK && !(ptr.flags & UCI_LOOKUP_COMPLETE))
		ret = -1;
	else if (ret == UCI_OK && ptr.o && ptr.o->type == UCI_TYPE_STRING)
		snprintf(value, size, "%s", ptr.o->v.string);
	uci_free_context(ctx);
	return ret;
}

int count_sections_from_c(const char *confdir, const char *package)
{
	struct uci_context *ctx = uci_alloc_context();
	struct uci_package *p = NULL;
	struct uci_element *e;
	int count = 0;

	if (!ctx)
		return -1;
	uci_set_confdir(ctx, confdir);
	if (uci_load(ctx, package, &p) == UCI_OK) {
		uci_foreach_element(&p->sections, e) {
			if (strcmp(uci_to_section(e)->type, "wifi-iface") == 0)
				count++;
		}
	}
	uci_free_context(ctx);
	return count;
}
