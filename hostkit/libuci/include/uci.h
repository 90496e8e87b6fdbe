/*
 * uci - configuration store: one file per package under the
 * configuration directory, read on demand into packages, sections and
 * options owned by a context.
 *
 * Valid C and C++.
 */
#ifndef __LIBUCI_H
#define __LIBUCI_H

#ifdef __cplusplus
extern "C" {
#endif

#include <stdbool.h>
#include <stddef.h>

#define UCI_CONFDIR "/etc/config"

enum
{
	UCI_OK = 0,
	UCI_ERR_MEM,
	UCI_ERR_INVAL,
	UCI_ERR_NOTFOUND,
	UCI_ERR_IO,
	UCI_ERR_PARSE,
	UCI_ERR_DUPLICATE,
	UCI_ERR_UNKNOWN,
	UCI_ERR_LAST
};

struct uci_list
{
	struct uci_list *next;
	struct uci_list *prev;
};

struct uci_ptr;
struct uci_element;
struct uci_package;
struct uci_section;
struct uci_option;
struct uci_context;
struct uci_parse_context;

enum uci_type {
	UCI_TYPE_UNSPEC = 0,
	UCI_TYPE_DELTA = 1,
	UCI_TYPE_PACKAGE = 2,
	UCI_TYPE_SECTION = 3,
	UCI_TYPE_OPTION = 4,
	UCI_TYPE_PATH = 5,
	UCI_TYPE_BACKEND = 6,
	UCI_TYPE_ITEM = 7,
	UCI_TYPE_HOOK = 8,
};

enum uci_option_type {
	UCI_TYPE_STRING = 0,
	UCI_TYPE_LIST = 1,
};

enum uci_flags {
	UCI_FLAG_STRICT =        (1 << 0), /* a parse error fails the whole load */
	UCI_FLAG_PERROR =        (1 << 1), /* print parse errors to stderr */
	UCI_FLAG_EXPORT_NAME =   (1 << 2),
	UCI_FLAG_SAVED_DELTA =   (1 << 3),
};

struct uci_element
{
	struct uci_list list;
	enum uci_type type;
	char *name;
};

/* Where the last parse error was found; see uci_perror. */
struct uci_parse_context
{
	const char *reason;
	int line;
	int byte;
};

struct uci_context
{
	/* loaded packages */
	struct uci_list root;

	/* set after a parse error */
	struct uci_parse_context *pctx;

	enum uci_flags flags;

	char *confdir;

	/* result and name of the last call */
	int err;
	const char *func;
};

struct uci_package
{
	struct uci_element e;
	struct uci_list sections;
	struct uci_context *ctx;
	char *path;
	int n_section;
};

struct uci_section
{
	struct uci_element e;
	struct uci_list options;
	struct uci_package *package;
	bool anonymous;
	char *type;
};

struct uci_option
{
	struct uci_element e;
	struct uci_section *section;
	enum uci_option_type type;
	union {
		struct uci_list list;	/* of UCI_TYPE_ITEM elements, value in name */
		char *string;
	} v;
};

/*
 * The lookup flags are members of the record's own enum: C sees them at
 * file scope, C++ as uci_ptr::UCI_LOOKUP_DONE and so on.
 */
struct uci_ptr
{
	enum uci_type target;
	enum {
		UCI_LOOKUP_DONE =     (1 << 0),
		UCI_LOOKUP_COMPLETE = (1 << 1),
		UCI_LOOKUP_EXTENDED = (1 << 2),
	} flags;

	struct uci_package *p;
	struct uci_section *s;
	struct uci_option *o;
	struct uci_element *last;

	const char *package;
	const char *section;
	const char *option;
	const char *value;
};

/* A context with the default configuration directory, or NULL. */
extern struct uci_context *uci_alloc_context(void);

/* Frees the context with every package loaded through it. */
extern void uci_free_context(struct uci_context *ctx);

extern int uci_set_confdir(struct uci_context *ctx, const char *dir);

/*
 * Prints the last error as "<str>: <call>: <error text>" to stderr, or
 * stores it in *dest (allocated, the caller frees it) when dest is set.
 */
extern void uci_perror(struct uci_context *ctx, const char *str);
extern void uci_get_errorstr(struct uci_context *ctx, char **dest, const char *str);

/* Reads the package file; UCI_ERR_DUPLICATE when it is loaded already. */
extern int uci_load(struct uci_context *ctx, const char *name, struct uci_package **package);
extern int uci_unload(struct uci_context *ctx, struct uci_package *p);

/*
 * Splits "package[.section[.option]][=value]" in place: the dots and the
 * '=' of str become NULs and ptr->package, section, option and value
 * point into str. Clears *ptr first.
 */
extern int uci_parse_ptr(struct uci_context *ctx, struct uci_ptr *ptr, char *str);

/*
 * Looks up what str (split as by uci_parse_ptr) or, when str is NULL,
 * the names already in ptr designate, loading the package if needed.
 * A missing package file is UCI_ERR_NOTFOUND; a missing section or
 * option is UCI_OK with ptr->s or ptr->o NULL and without
 * UCI_LOOKUP_COMPLETE. With extended, the section may be given as
 * "@type[index]" (index from 0, negative from the end, empty type for
 * any type).
 */
extern int uci_lookup_ptr(struct uci_context *ctx, struct uci_ptr *ptr, char *str, bool extended);

/* Finds the element called name in list; UCI_ERR_NOTFOUND if none. */
extern int uci_lookup_next(struct uci_context *ctx, struct uci_element **e, struct uci_list *list, const char *name);

/* linked list handling */
#ifndef offsetof
#define offsetof(TYPE, MEMBER) ((size_t) &((TYPE *)0)->MEMBER)
#endif

#ifndef container_of
#define container_of(ptr, type, member) \
	((type *) ((char *)ptr - offsetof(type,member)))
#endif

#define uci_list_empty(list) ((list)->next == (list))

#define list_to_element(ptr) \
	container_of(ptr, struct uci_element, list)

#define uci_foreach_element(_list, _ptr)		\
	for(_ptr = list_to_element((_list)->next);	\
		&_ptr->list != (_list);			\
		_ptr = list_to_element(_ptr->list.next))

#define uci_foreach_element_safe(_list, _tmp, _ptr)		\
	for(_ptr = list_to_element((_list)->next),		\
		_tmp = list_to_element(_ptr->list.next);	\
		&_ptr->list != (_list);			\
		_ptr = _tmp, _tmp = list_to_element(_ptr->list.next))

#define uci_to_package(ptr) container_of(ptr, struct uci_package, e)
#define uci_to_section(ptr) container_of(ptr, struct uci_section, e)
#define uci_to_option(ptr)  container_of(ptr, struct uci_option, e)

static inline struct uci_section *
uci_lookup_section(struct uci_context *ctx, struct uci_package *p, const char *name)
{
	struct uci_element *e = NULL;
	if (uci_lookup_next(ctx, &e, &p->sections, name) == 0)
		return uci_to_section(e);
	return NULL;
}

static inline struct uci_option *
uci_lookup_option(struct uci_context *ctx, struct uci_section *s, const char *name)
{
	struct uci_element *e = NULL;
	if (uci_lookup_next(ctx, &e, &s->options, name) == 0)
		return uci_to_option(e);
	return NULL;
}

static inline const char *
uci_lookup_option_string(struct uci_context *ctx, struct uci_section *s, const char *name)
{
	struct uci_option *o = uci_lookup_option(ctx, s, name);
	if (!o || o->type != UCI_TYPE_STRING)
		return NULL;
	return o->v.string;
}

#ifdef __cplusplus
}
#endif

#endif
