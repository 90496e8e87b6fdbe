// Package files: <confdir>/<package>, read whole into memory and parsed.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "store.h"

// Configuration files are a few kilobytes; anything this large is not one.
#define MAX_FILE_SIZE (4u << 20)

static char *package_path(struct uci_context *ctx, const char *name)
{
	size_t dir_len = strlen(ctx->confdir);
	size_t name_len = strlen(name);
	char *path = (char *) malloc(dir_len + 1 + name_len + 1);

	if (!path)
		return NULL;
	memcpy(path, ctx->confdir, dir_len);
	path[dir_len] = '/';
	memcpy(path + dir_len + 1, name, name_len + 1);
	return path;
}

// Reads all of fd into *text (NUL-terminated, length in *len).
static int read_all(struct uci_context *ctx, int fd, char **text, size_t *len)
{
	size_t size = 4096, used = 0;
	char *buf = (char *) malloc(size);

	if (!buf)
		return uci_ctx_fail(ctx, UCI_ERR_MEM);
	for (;;) {
		ssize_t n;

		if (used + 1 == size) {
			char *bigger;

			if (size >= MAX_FILE_SIZE) {
				free(buf);
				return uci_ctx_parse_error(ctx, "file too large", 0, 0);
			}
			bigger = (char *) realloc(buf, size * 2);
			if (!bigger) {
				free(buf);
				return uci_ctx_fail(ctx, UCI_ERR_MEM);
			}
			buf = bigger;
			size *= 2;
		}
		n = read(fd, buf + used, size - 1 - used);
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0) {
			free(buf);
			return uci_ctx_fail(ctx, UCI_ERR_IO);
		}
		if (n == 0)
			break;
		used += (size_t) n;
	}
	buf[used] = 0;
	*text = buf;
	*len = used;
	return UCI_OK;
}

// Only a regular file is read: opening without blocking keeps a FIFO in
// its place from stalling the caller.
static int read_file(struct uci_context *ctx, const char *path, char **text, size_t *len)
{
	struct stat st;
	int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
	int ret;

	if (fd < 0)
		return uci_ctx_fail(ctx, errno == ENOENT || errno == ENOTDIR ? UCI_ERR_NOTFOUND : UCI_ERR_IO);
	if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
		close(fd);
		return uci_ctx_fail(ctx, UCI_ERR_IO);
	}
	ret = read_all(ctx, fd, text, len);
	close(fd);
	return ret;
}

int uci_package_read(struct uci_context *ctx, const char *name, struct uci_package **out)
{
	char *path, *text = NULL;
	size_t len = 0;
	struct uci_package *p = NULL;
	int ret;

	if (!uci_package_name_valid(name))
		return uci_ctx_fail(ctx, UCI_ERR_INVAL);
	path = package_path(ctx, name);
	if (!path)
		return uci_ctx_fail(ctx, UCI_ERR_MEM);
	ret = read_file(ctx, path, &text, &len);
	if (ret == UCI_OK) {
		p = uci_tree_package_new(ctx, name, path);
		ret = p ? uci_file_parse(ctx, p, text, len) : uci_ctx_fail(ctx, UCI_ERR_MEM);
	}
	free(text);
	free(path);
	if (ret) {
		uci_tree_package_free(p);
		return ret;
	}
	uci_tree_list_append(&ctx->root, &p->e.list);
	*out = p;
	return UCI_OK;
}

int uci_load(struct uci_context *ctx, const char *name, struct uci_package **package)
{
	struct uci_package *p;
	int ret;

	if (!ctx)
		return UCI_ERR_INVAL;
	uci_ctx_enter(ctx, __func__);
	if (!name)
		return uci_ctx_fail(ctx, UCI_ERR_INVAL);
	if (uci_tree_find(&ctx->root, name))
		return uci_ctx_fail(ctx, UCI_ERR_DUPLICATE);
	ret = uci_package_read(ctx, name, &p);
	if (ret)
		return ret;
	if (package)
		*package = p;
	return UCI_OK;
}

int uci_unload(struct uci_context *ctx, struct uci_package *p)
{
	if (!ctx)
		return UCI_ERR_INVAL;
	uci_ctx_enter(ctx, __func__);
	if (!p)
		return uci_ctx_fail(ctx, UCI_ERR_INVAL);
	uci_tree_list_remove(&p->e.list);
	uci_tree_package_free(p);
	return UCI_OK;
}
