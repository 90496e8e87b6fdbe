// The context: configuration directory, loaded packages and the result
// of the last call, with its text for uci_perror.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "store.h"

// The context and the place of its last parse error, in one block.
struct context_block {
	struct uci_context ctx;
	struct uci_parse_context parse_error;
};

static char default_confdir[] = UCI_CONFDIR;

static const char *const error_texts[UCI_ERR_LAST] = {
	"Success",
	"Out of memory",
	"Invalid argument",
	"Entry not found",
	"I/O error",
	"Parse error",
	"Duplicate entry",
	"Unknown error",
};

struct uci_context *uci_alloc_context(void)
{
	struct context_block *block = (struct context_block *) calloc(1, sizeof(*block));
	struct uci_context *ctx;

	if (!block)
		return NULL;
	ctx = &block->ctx;
	uci_tree_list_init(&ctx->root);
	ctx->flags = UCI_FLAG_STRICT;
	ctx->confdir = default_confdir;
	return ctx;
}

void uci_free_context(struct uci_context *ctx)
{
	struct uci_element *e, *tmp;

	if (!ctx)
		return;
	uci_foreach_element_safe(&ctx->root, tmp, e)
		uci_tree_package_free(uci_to_package(e));
	if (ctx->confdir != default_confdir)
		free(ctx->confdir);
	free(container_of(ctx, struct context_block, ctx));
}

int uci_set_confdir(struct uci_context *ctx, const char *dir)
{
	char *copy;

	if (!ctx)
		return UCI_ERR_INVAL;
	uci_ctx_enter(ctx, __func__);
	if (!dir || !*dir)
		return uci_ctx_fail(ctx, UCI_ERR_INVAL);
	copy = strdup(dir);
	if (!copy)
		return uci_ctx_fail(ctx, UCI_ERR_MEM);
	if (ctx->confdir != default_confdir)
		free(ctx->confdir);
	ctx->confdir = copy;
	return UCI_OK;
}

void uci_ctx_enter(struct uci_context *ctx, const char *func)
{
	ctx->err = UCI_OK;
	ctx->func = func;
	ctx->pctx = NULL;
}

int uci_ctx_fail(struct uci_context *ctx, int err)
{
	ctx->err = err;
	return err;
}

int uci_ctx_parse_error(struct uci_context *ctx, const char *reason, int line, int byte)
{
	struct context_block *block = container_of(ctx, struct context_block, ctx);

	block->parse_error.reason = reason;
	block->parse_error.line = line;
	block->parse_error.byte = byte;
	ctx->pctx = &block->parse_error;
	return uci_ctx_fail(ctx, UCI_ERR_PARSE);
}

// "<prefix>: <call>: <error text>[ (<reason>) at line <n>, byte <m>]"
static int format_error(char *out, size_t size, struct uci_context *ctx, const char *prefix)
{
	int err = ctx ? ctx->err : UCI_ERR_INVAL;
	const char *func = ctx ? ctx->func : NULL;
	char where[96] = "";

	if (err < 0 || err >= UCI_ERR_LAST)
		err = UCI_ERR_UNKNOWN;
	if (err == UCI_ERR_PARSE && ctx->pctx)
		snprintf(where, sizeof(where), " (%s) at line %d, byte %d",
			 ctx->pctx->reason, ctx->pctx->line, ctx->pctx->byte);
	return snprintf(out, size, "%s%s%s%s%s%s",
			prefix ? prefix : "", prefix ? ": " : "",
			func ? func : "", func ? ": " : "",
			error_texts[err], where);
}

void uci_get_errorstr(struct uci_context *ctx, char **dest, const char *prefix)
{
	int len = format_error(NULL, 0, ctx, prefix);
	char *text = len >= 0 ? (char *) malloc((size_t) len + 1) : NULL;

	if (text)
		format_error(text, (size_t) len + 1, ctx, prefix);
	if (dest) {
		*dest = text;
		return;
	}
	if (text)
		fprintf(stderr, "%s\n", text);
	free(text);
}

void uci_perror(struct uci_context *ctx, const char *str)
{
	uci_get_errorstr(ctx, NULL, str);
}
