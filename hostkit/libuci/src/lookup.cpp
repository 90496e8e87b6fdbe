// Paths "package.section.option" and what they designate.
#include <stdlib.h>
#include <string.h>

#include "store.h"

// The flags member has an anonymous enum type, which C++ does not widen
// back from int by itself.
static void add_flags(struct uci_ptr *ptr, int flags)
{
	ptr->flags = (decltype(ptr->flags)) (ptr->flags | flags);
}

static int split_ptr(struct uci_context *ctx, struct uci_ptr *ptr, char *str)
{
	const char **names[3] = { &ptr->package, &ptr->section, &ptr->option };
	const enum uci_type targets[3] = { UCI_TYPE_PACKAGE, UCI_TYPE_SECTION, UCI_TYPE_OPTION };
	char *part = str, *value;
	int n = 0;

	memset(ptr, 0, sizeof(*ptr));
	value = strchr(str, '=');
	if (value) {
		*value = 0;
		ptr->value = value + 1;
	}
	for (;;) {
		char *dot = strchr(part, '.');

		if (n == 3)
			goto error;
		*names[n] = part;
		ptr->target = targets[n++];
		if (!dot)
			break;
		*dot = 0;
		part = dot + 1;
	}

	if (!uci_package_name_valid(ptr->package))
		goto error;
	if (ptr->option && !uci_name_valid(ptr->option))
		goto error;
	// not a plain name: "@type[index]", checked at lookup
	if (ptr->section && !uci_name_valid(ptr->section))
		add_flags(ptr, uci_ptr::UCI_LOOKUP_EXTENDED);
	return UCI_OK;

error:
	memset(ptr, 0, sizeof(*ptr));
	return uci_ctx_fail(ctx, UCI_ERR_PARSE);
}

int uci_parse_ptr(struct uci_context *ctx, struct uci_ptr *ptr, char *str)
{
	if (!ctx)
		return UCI_ERR_INVAL;
	uci_ctx_enter(ctx, __func__);
	if (!ptr || !str)
		return uci_ctx_fail(ctx, UCI_ERR_INVAL);
	return split_ptr(ctx, ptr, str);
}

static bool has_type(const struct uci_section *s, const char *type, size_t len)
{
	return len == 0 || (strlen(s->type) == len && memcmp(s->type, type, len) == 0);
}

// "@type[index]" or "@[index]" (any type): index counts from 0 among the
// sections of that type, or from the end when negative. Sets ptr->s, or
// leaves it NULL when there is no such section.
static int find_by_position(struct uci_context *ctx, struct uci_ptr *ptr)
{
	const char *text = ptr->section;
	const char *type = text + 1;
	const char *open, *close;
	struct uci_element *e;
	size_t type_len;
	long index, count = 0;
	char *end;

	if (text[0] != '@')
		return uci_ctx_fail(ctx, UCI_ERR_INVAL);
	open = strchr(type, '[');
	close = open ? strchr(open, ']') : NULL;
	if (!close || close[1] != 0)
		return uci_ctx_fail(ctx, UCI_ERR_INVAL);
	type_len = (size_t) (open - type);
	if (type_len && !uci_type_valid_n(type, type_len))
		return uci_ctx_fail(ctx, UCI_ERR_INVAL);
	index = strtol(open + 1, &end, 10);
	if (end != close)
		return uci_ctx_fail(ctx, UCI_ERR_INVAL);

	if (index < 0) {
		uci_foreach_element(&ptr->p->sections, e)
			count += has_type(uci_to_section(e), type, type_len);
		index += count;
	}
	count = 0;
	uci_foreach_element(&ptr->p->sections, e) {
		struct uci_section *s = uci_to_section(e);

		if (!has_type(s, type, type_len))
			continue;
		if (count++ == index) {
			ptr->s = s;
			ptr->section = e->name;
			break;
		}
	}
	return UCI_OK;
}

static int find_section(struct uci_context *ctx, struct uci_ptr *ptr, bool extended)
{
	struct uci_element *e;

	if (ptr->flags & uci_ptr::UCI_LOOKUP_EXTENDED) {
		if (!extended)
			return uci_ctx_fail(ctx, UCI_ERR_INVAL);
		return find_by_position(ctx, ptr);
	}
	e = uci_tree_find(&ptr->p->sections, ptr->section);
	ptr->s = e ? uci_to_section(e) : NULL;
	return UCI_OK;
}

int uci_lookup_ptr(struct uci_context *ctx, struct uci_ptr *ptr, char *str, bool extended)
{
	struct uci_element *e;
	int ret;

	if (!ctx)
		return UCI_ERR_INVAL;
	uci_ctx_enter(ctx, __func__);
	if (!ptr)
		return uci_ctx_fail(ctx, UCI_ERR_INVAL);
	if (str) {
		ret = split_ptr(ctx, ptr, str);
		if (ret)
			return ret;
	}
	add_flags(ptr, uci_ptr::UCI_LOOKUP_DONE);

	if (!ptr->p) {
		if (!ptr->package)
			return uci_ctx_fail(ctx, UCI_ERR_INVAL);
		e = uci_tree_find(&ctx->root, ptr->package);
		if (e)
			ptr->p = uci_to_package(e);
		else if ((ret = uci_package_read(ctx, ptr->package, &ptr->p)))
			return ret;
	}
	ptr->last = &ptr->p->e;

	if (!ptr->s && ptr->section) {
		ret = find_section(ctx, ptr, extended);
		if (ret || !ptr->s)
			return ret;
	}
	if (ptr->s) {
		ptr->last = &ptr->s->e;
		if (ptr->option) {
			e = uci_tree_find(&ptr->s->options, ptr->option);
			if (!e)
				return UCI_OK;
			ptr->o = uci_to_option(e);
			ptr->last = e;
		}
	}
	add_flags(ptr, uci_ptr::UCI_LOOKUP_COMPLETE);
	return UCI_OK;
}

int uci_lookup_next(struct uci_context *ctx, struct uci_element **e, struct uci_list *list, const char *name)
{
	if (!ctx)
		return UCI_ERR_INVAL;
	uci_ctx_enter(ctx, __func__);
	if (!e || !list || !name)
		return uci_ctx_fail(ctx, UCI_ERR_INVAL);
	*e = uci_tree_find(list, name);
	return *e ? UCI_OK : uci_ctx_fail(ctx, UCI_ERR_NOTFOUND);
}
