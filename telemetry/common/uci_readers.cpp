#include "uci_readers.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <uci.h>

enum lookup_outcome {
	LOOKUP_NO_CONTEXT, // message printed
	LOOKUP_FAILED,     // the library refused the lookup; silent
	LOOKUP_MISSING,    // no such option, or a list; caller prints
	LOOKUP_FOUND,
};

// On LOOKUP_FAILED, LOOKUP_MISSING and LOOKUP_FOUND *ctx holds a context
// the caller frees; *value points into it.
static enum lookup_outcome lookup_option(const char *reader, const char *package,
					 const char *section, const char *option,
					 struct uci_context **ctx, const char **value)
{
	*ctx = uci_alloc_context();
	if (!*ctx) {
		fprintf(stderr, "[%s] Erreur : Impossible d'allouer le contexte UCI", reader);
		return LOOKUP_NO_CONTEXT;
	}

	// A longer path is cut and looked up as cut; the library may write here.
	char path[128];
	struct uci_ptr ptr;

	snprintf(path, sizeof(path), "%s.%s.%s", package, section, option);
	memset(&ptr, 0, sizeof(ptr));
	if (uci_lookup_ptr(*ctx, &ptr, path, true) != 0)
		return LOOKUP_FAILED;
	// An anonymous section answers to the name uci made up for it ("cfg",
	// its position and a hash), and a block of that name further down the
	// file joins it: only a section given its name counts as found by it.
	if (!ptr.o || ptr.o->type != UCI_TYPE_STRING || ptr.s->anonymous)
		return LOOKUP_MISSING;
	*value = ptr.o->v.string;
	return LOOKUP_FOUND;
}

static int read_int(const char *reader, const char *package, const char *section,
		    const char *option, int def)
{
	struct uci_context *ctx;
	const char *value;
	int result = def;

	switch (lookup_option(reader, package, section, option, &ctx, &value)) {
	case LOOKUP_NO_CONTEXT:
		return def;
	case LOOKUP_FAILED:
		break;
	case LOOKUP_MISSING:
		fprintf(stderr, "[%s] Option %s introuvable ou invalide, retour valeur par défaut: %d",
			reader, option, def);
		break;
	case LOOKUP_FOUND:
		result = atoi(value);
		break;
	}
	uci_free_context(ctx);
	return result;
}

int uci_get_int_value(const char *package, const char *section, const char *option, int def)
{
	return read_int("uci_get_int_value", package, section, option, def);
}

int uci_get_int(const char *package, const char *section, const char *option, int def)
{
	return read_int("uci_get_int", package, section, option, def);
}

char *uci_get_string_value(const char *package, const char *section, const char *option)
{
	static const char reader[] = "uci_get_string_value";
	struct uci_context *ctx;
	const char *value;
	char *result = NULL;

	switch (lookup_option(reader, package, section, option, &ctx, &value)) {
	case LOOKUP_NO_CONTEXT:
		return NULL;
	case LOOKUP_FAILED:
		break;
	case LOOKUP_MISSING:
		fprintf(stderr, "[%s] Option %s introuvable ou invalide", reader, option);
		break;
	case LOOKUP_FOUND:
		result = strdup(value);
		break;
	}
	uci_free_context(ctx);
	return result;
}
