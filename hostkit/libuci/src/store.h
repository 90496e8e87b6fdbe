// Pieces of the configuration store shared by its source files: the
// element tree, name rules, error recording and package loading.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <uci.h>

// ---- element tree (tree.cpp) ----

void uci_tree_list_init(struct uci_list *list);
void uci_tree_list_append(struct uci_list *head, struct uci_list *item);
void uci_tree_list_remove(struct uci_list *item);

// The element called name in list, or NULL. Unnamed elements never match.
struct uci_element *uci_tree_find(struct uci_list *list, const char *name);

// The package, not yet in any context list; NULL when out of memory.
struct uci_package *uci_tree_package_new(struct uci_context *ctx, const char *name, const char *path);
void uci_tree_package_free(struct uci_package *p);

// Appends a section; name NULL makes it anonymous (named by
// uci_tree_name_anonymous once its options are known).
struct uci_section *uci_tree_section_add(struct uci_package *p, const char *type, const char *name);

// ---- section names of a package being read (section_names.cpp) ----

struct uci_section_names;

struct uci_section_names *uci_section_names_new(void);	// NULL: out of memory
void uci_section_names_free(struct uci_section_names *names);

// The section called name, or NULL.
struct uci_section *uci_section_names_find(const struct uci_section_names *names, const char *name);

// Indexes s under its name (a name already there keeps its section).
// UCI_OK or UCI_ERR_MEM.
int uci_section_names_add(struct uci_section_names *names, struct uci_section *s);

// The count of names known to be taken from an anonymous base name on
// (0 for a new base), for the caller to advance; NULL when out of memory.
uint32_t *uci_section_names_taken_from(struct uci_section_names *names, uint32_t base);

// Names an anonymous section from its place and content, moving on past
// names already in names, and indexes it. UCI_OK, UCI_ERR_MEM, or
// UCI_ERR_DUPLICATE when every name of its place is taken.
int uci_tree_name_anonymous(struct uci_section *s, struct uci_section_names *names);

// "option": sets or replaces the value. "list": appends a value,
// turning a plain option into a list that starts with its old value.
// Both return UCI_OK or UCI_ERR_MEM.
int uci_tree_set_option(struct uci_section *s, const char *name, const char *value);
int uci_tree_add_list_value(struct uci_section *s, const char *name, const char *value);

// ---- name rules (tree.cpp) ----

bool uci_name_valid(const char *name);          // letters, digits, '_'
bool uci_package_name_valid(const char *name);  // and '-'
bool uci_type_valid(const char *type);          // printable, no blanks

// The section type "@type[...]" names must match, given as a length.
bool uci_type_valid_n(const char *type, size_t len);

// ---- error recording (context.cpp) ----

// Public calls start with uci_ctx_enter and end failures through
// uci_ctx_fail, so ctx->err and ctx->func describe the last call.
void uci_ctx_enter(struct uci_context *ctx, const char *func);
int uci_ctx_fail(struct uci_context *ctx, int err);
int uci_ctx_parse_error(struct uci_context *ctx, const char *reason, int line, int byte);

// ---- package files (package_file.cpp, file_parser.cpp) ----

// Reads <confdir>/<name> into a new package appended to ctx->root.
int uci_package_read(struct uci_context *ctx, const char *name, struct uci_package **out);

// Parses the NUL-terminated text of len bytes into p.
int uci_file_parse(struct uci_context *ctx, struct uci_package *p, const char *text, size_t len);
