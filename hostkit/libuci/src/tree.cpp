// Packages, sections, options and list values. Every element is one
// malloc block holding the record followed by its name (and, for a
// section, its type), so freeing an element is one free() plus its value.
#include <ctype.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "store.h"

// "cfg" + 2 + 4 hex digits + NUL
#define ANONYMOUS_NAME_SIZE 10

void uci_tree_list_init(struct uci_list *list)
{
	list->next = list;
	list->prev = list;
}

void uci_tree_list_append(struct uci_list *head, struct uci_list *item)
{
	item->prev = head->prev;
	item->next = head;
	head->prev->next = item;
	head->prev = item;
}

void uci_tree_list_remove(struct uci_list *item)
{
	item->prev->next = item->next;
	item->next->prev = item->prev;
	uci_tree_list_init(item);
}

struct uci_element *uci_tree_find(struct uci_list *list, const char *name)
{
	struct uci_element *e;

	uci_foreach_element(list, e) {
		if (e->name && strcmp(e->name, name) == 0)
			return e;
	}
	return NULL;
}

// A zeroed block of size bytes for the record plus extra bytes after it.
static void *element_alloc(size_t size, size_t extra, enum uci_type type)
{
	struct uci_element *e = (struct uci_element *) calloc(1, size + extra);

	if (!e)
		return NULL;
	uci_tree_list_init(&e->list);
	e->type = type;
	return e;
}

// Copies text into the block at offset and returns the copy.
static char *block_copy(void *block, size_t offset, const char *text)
{
	char *dest = (char *) block + offset;

	memcpy(dest, text, strlen(text) + 1);
	return dest;
}

static struct uci_element *item_new(const char *value)
{
	struct uci_element *e = (struct uci_element *)
		element_alloc(sizeof(*e), strlen(value) + 1, UCI_TYPE_ITEM);

	if (e)
		e->name = block_copy(e, sizeof(*e), value);
	return e;
}

static void option_free_value(struct uci_option *o)
{
	struct uci_element *e, *tmp;

	if (o->type == UCI_TYPE_STRING) {
		free(o->v.string);
		return;
	}
	uci_foreach_element_safe(&o->v.list, tmp, e)
		free(e);
}

static void option_free(struct uci_option *o)
{
	option_free_value(o);
	free(o);
}

static void section_free(struct uci_section *s)
{
	struct uci_element *e, *tmp;

	uci_foreach_element_safe(&s->options, tmp, e)
		option_free(uci_to_option(e));
	free(s);
}

struct uci_package *uci_tree_package_new(struct uci_context *ctx, const char *name, const char *path)
{
	size_t name_size = strlen(name) + 1;
	struct uci_package *p = (struct uci_package *)
		element_alloc(sizeof(*p), name_size + strlen(path) + 1, UCI_TYPE_PACKAGE);

	if (!p)
		return NULL;
	p->e.name = block_copy(p, sizeof(*p), name);
	p->path = block_copy(p, sizeof(*p) + name_size, path);
	p->ctx = ctx;
	uci_tree_list_init(&p->sections);
	return p;
}

void uci_tree_package_free(struct uci_package *p)
{
	struct uci_element *e, *tmp;

	if (!p)
		return;
	uci_foreach_element_safe(&p->sections, tmp, e)
		section_free(uci_to_section(e));
	free(p);
}

struct uci_section *uci_tree_section_add(struct uci_package *p, const char *type, const char *name)
{
	size_t name_size = name ? strlen(name) + 1 : ANONYMOUS_NAME_SIZE;
	struct uci_section *s = (struct uci_section *)
		element_alloc(sizeof(*s), name_size + strlen(type) + 1, UCI_TYPE_SECTION);

	if (!s)
		return NULL;
	if (name)
		s->e.name = block_copy(s, sizeof(*s), name);
	s->anonymous = !name;
	s->type = block_copy(s, sizeof(*s) + name_size, type);
	s->package = p;
	uci_tree_list_init(&s->options);
	uci_tree_list_append(&p->sections, &s->e.list);
	p->n_section++;
	return s;
}

static uint32_t hash_text(uint32_t h, const char *text)
{
	for (; *text; text++)
		h = (h ^ (unsigned char) *text) * 16777619u;
	return (h ^ 0xff) * 16777619u;	// keeps "ab","c" apart from "a","bc"
}

// Named after its place in the package and a hash of its content, like
// "cfg02a41f"; a clash with an existing name moves the hash on. Names
// found taken from one base on are not tried again, so many identical
// sections cost no more than different ones.
int uci_tree_name_anonymous(struct uci_section *s, struct uci_section_names *names)
{
	uint32_t h = hash_text(2166136261u, s->type);
	struct uci_element *e, *item;
	char *name = (char *) s + sizeof(*s);
	unsigned int position = (unsigned int) s->package->n_section - 1;
	uint32_t *taken;

	if (!s->anonymous || s->e.name)
		return UCI_OK;
	uci_foreach_element(&s->options, e) {
		struct uci_option *o = uci_to_option(e);

		h = hash_text(h, e->name);
		if (o->type == UCI_TYPE_STRING) {
			h = hash_text(h, o->v.string);
			continue;
		}
		uci_foreach_element(&o->v.list, item)
			h = hash_text(h, item->name);
	}
	h ^= h >> 16;
	taken = uci_section_names_taken_from(names, (position & 0xff) << 16 | (h & 0xffff));
	if (!taken)
		return UCI_ERR_MEM;
	do {
		if (*taken > 0xffff)
			return UCI_ERR_DUPLICATE;
		snprintf(name, ANONYMOUS_NAME_SIZE, "cfg%02x%04x", position & 0xff, (h + *taken) & 0xffff);
		++*taken;
	} while (uci_section_names_find(names, name));
	s->e.name = name;
	return uci_section_names_add(names, s);
}

static struct uci_option *option_new(struct uci_section *s, const char *name)
{
	struct uci_option *o = (struct uci_option *)
		element_alloc(sizeof(*o), strlen(name) + 1, UCI_TYPE_OPTION);

	if (!o)
		return NULL;
	o->e.name = block_copy(o, sizeof(*o), name);
	o->section = s;
	return o;
}

int uci_tree_set_option(struct uci_section *s, const char *name, const char *value)
{
	struct uci_element *e = uci_tree_find(&s->options, name);
	struct uci_option *o;
	char *copy = strdup(value);

	if (!copy)
		return UCI_ERR_MEM;
	if (e) {
		o = uci_to_option(e);
		option_free_value(o);
	} else {
		o = option_new(s, name);
		if (!o) {
			free(copy);
			return UCI_ERR_MEM;
		}
		uci_tree_list_append(&s->options, &o->e.list);
	}
	o->type = UCI_TYPE_STRING;
	o->v.string = copy;
	return UCI_OK;
}

int uci_tree_add_list_value(struct uci_section *s, const char *name, const char *value)
{
	struct uci_element *e = uci_tree_find(&s->options, name);
	struct uci_element *item = item_new(value);
	struct uci_option *o;

	if (!item)
		return UCI_ERR_MEM;
	if (!e) {
		o = option_new(s, name);
		if (!o) {
			free(item);
			return UCI_ERR_MEM;
		}
		o->type = UCI_TYPE_LIST;
		uci_tree_list_init(&o->v.list);
		uci_tree_list_append(&s->options, &o->e.list);
	} else {
		o = uci_to_option(e);
	}
	if (o->type == UCI_TYPE_STRING) {
		struct uci_element *first = item_new(o->v.string);

		if (!first) {
			free(item);
			return UCI_ERR_MEM;
		}
		free(o->v.string);
		o->type = UCI_TYPE_LIST;
		uci_tree_list_init(&o->v.list);
		uci_tree_list_append(&o->v.list, &first->list);
	}
	uci_tree_list_append(&o->v.list, &item->list);
	return UCI_OK;
}

static bool name_char(unsigned char c)
{
	return isalnum(c) || c == '_';
}

bool uci_name_valid(const char *name)
{
	if (!*name)
		return false;
	for (; *name; name++) {
		if (!name_char((unsigned char) *name))
			return false;
	}
	return true;
}

bool uci_package_name_valid(const char *name)
{
	if (!*name)
		return false;
	for (; *name; name++) {
		if (!name_char((unsigned char) *name) && *name != '-')
			return false;
	}
	return true;
}

bool uci_type_valid_n(const char *type, size_t len)
{
	if (len == 0)
		return false;
	for (size_t i = 0; i < len; i++) {
		unsigned char c = (unsigned char) type[i];

		if (c < 33 || c > 126)
			return false;
	}
	return true;
}

bool uci_type_valid(const char *type)
{
	return uci_type_valid_n(type, strlen(type));
}
