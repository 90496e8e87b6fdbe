// The package file syntax:
//
//	package <name>                 (optional, ignored)
//	config <type> [<name>]         (no name: an anonymous section)
//	option <name> [<value>]
//	list <name> <value>
//
// Words are bare, 'single-quoted' (taken as they are) or "double-quoted"
// (a backslash takes the next character as it is); adjacent parts make
// one word, so 'a'"b"c is "abc". Outside single quotes a backslash at the
// end of a line joins the next line; quoted words may span lines and
// keep their newlines. '#' starts a comment, ';' ends a statement, and
// the keywords may be cut to their first letter.
//
// The whole text is in memory; words are unescaped into a scratch buffer
// of the text's size, which no statement can overflow. Any error fails
// the package with its line and byte.
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "store.h"

// keyword and three arguments; a fourth is always one too many
#define MAX_WORDS 5

struct parser {
	struct uci_context *ctx;
	struct uci_package *p;
	struct uci_section *section;	// the one options go to
	struct uci_section_names *names;	// of the sections in p so far
	const char *pos;
	const char *line_start;
	int line;

	char *scratch;
	size_t used;
	char *words[MAX_WORDS];
	int n_words;
	const char *statement;		// where its first word starts
	int statement_line;
	const char *statement_line_start;
};

static int fail_at(struct parser *ps, const char *reason, const char *where, int line, const char *line_start)
{
	return uci_ctx_parse_error(ps->ctx, reason, line, (int) (where - line_start));
}

static int fail_statement(struct parser *ps, const char *reason)
{
	return fail_at(ps, reason, ps->statement, ps->statement_line, ps->statement_line_start);
}

static void next_line(struct parser *ps, const char *start)
{
	ps->line++;
	ps->line_start = start;
}

// Steps over a backslash-newline pair at pos, if there is one.
static bool skip_joined_line(struct parser *ps)
{
	if (ps->pos[0] != '\\' || ps->pos[1] != '\n')
		return false;
	ps->pos += 2;
	next_line(ps, ps->pos);
	return true;
}

static void skip_blanks(struct parser *ps)
{
	for (;;) {
		unsigned char c = (unsigned char) *ps->pos;

		if (c != '\n' && c != 0 && isspace(c))
			ps->pos++;
		else if (!skip_joined_line(ps))
			return;
	}
}

static void put(struct parser *ps, char c)
{
	ps->scratch[ps->used++] = c;
}

// Copies a quoted part up to its closing quote; pos is on the opening one.
static int read_quoted(struct parser *ps)
{
	const char quote = *ps->pos;
	const char *open = ps->pos;
	const char *open_line_start = ps->line_start;
	int open_line = ps->line;

	ps->pos++;
	for (;;) {
		char c = *ps->pos;

		if (c == quote) {
			ps->pos++;
			return UCI_OK;
		}
		if (c == 0)
			break;
		if (quote == '"' && c == '\\') {
			if (skip_joined_line(ps))
				continue;
			if (ps->pos[1] == 0)
				break;
			c = *++ps->pos;
		}
		put(ps, c);
		ps->pos++;
		if (c == '\n')
			next_line(ps, ps->pos);
	}
	return fail_at(ps, quote == '"' ? "unterminated \"" : "unterminated '",
		       open, open_line, open_line_start);
}

static bool ends_word(char c)
{
	return c == 0 || c == '#' || c == ';' || isspace((unsigned char) c);
}

static int read_word(struct parser *ps)
{
	char *word = ps->scratch + ps->used;

	if (ps->n_words == 0) {
		ps->statement = ps->pos;
		ps->statement_line = ps->line;
		ps->statement_line_start = ps->line_start;
	}
	while (!ends_word(*ps->pos)) {
		char c = *ps->pos;

		if (c == '\'' || c == '"') {
			int ret = read_quoted(ps);

			if (ret)
				return ret;
			continue;
		}
		if (c == '\\') {
			if (skip_joined_line(ps))
				continue;
			ps->pos++;
			if (*ps->pos == 0)
				break;
			c = *ps->pos;
		}
		put(ps, c);
		ps->pos++;
	}
	put(ps, 0);
	if (ps->n_words == MAX_WORDS)
		return fail_statement(ps, "too many arguments");
	ps->words[ps->n_words++] = word;
	return UCI_OK;
}

// "c" or "config" for "config"
static bool is_keyword(const char *word, const char *keyword)
{
	return word[0] == keyword[0] && (word[1] == 0 || strcmp(word, keyword) == 0);
}

static int close_section(struct parser *ps)
{
	int ret = UCI_OK;

	if (ps->section)
		ret = uci_tree_name_anonymous(ps->section, ps->names);
	ps->section = NULL;
	return ret ? uci_ctx_fail(ps->ctx, ret) : UCI_OK;
}

static int run_config(struct parser *ps)
{
	const char *type = ps->words[1];
	const char *name = ps->n_words > 2 ? ps->words[2] : NULL;
	struct uci_section *s;
	int ret;

	if (ps->n_words < 2)
		return fail_statement(ps, "missing section type");
	if (ps->n_words > 3)
		return fail_statement(ps, "too many arguments");
	if (!uci_type_valid(type))
		return fail_statement(ps, "invalid section type");
	if (name && !*name)
		name = NULL;
	if (name && !uci_name_valid(name))
		return fail_statement(ps, "invalid section name");

	ret = close_section(ps);
	if (ret)
		return ret;
	s = name ? uci_section_names_find(ps->names, name) : NULL;
	if (s) {
		// a second block of the same name adds to the first
		ps->section = s;
		if (strcmp(s->type, type) != 0)
			return fail_statement(ps, "section of another type has the same name");
		return UCI_OK;
	}
	ps->section = uci_tree_section_add(ps->p, type, name);
	if (!ps->section)
		return uci_ctx_fail(ps->ctx, UCI_ERR_MEM);
	ret = name ? uci_section_names_add(ps->names, ps->section) : UCI_OK;
	return ret ? uci_ctx_fail(ps->ctx, ret) : UCI_OK;
}

static int run_option(struct parser *ps, bool list)
{
	const char *name = ps->words[1];
	const char *value = ps->n_words > 2 ? ps->words[2] : "";
	int ret;

	if (!ps->section)
		return fail_statement(ps, "option or list before the first section");
	if (ps->n_words < 2 || (list && ps->n_words < 3))
		return fail_statement(ps, "missing argument");
	if (ps->n_words > 3)
		return fail_statement(ps, "too many arguments");
	if (!uci_name_valid(name))
		return fail_statement(ps, "invalid option name");

	if (list)
		ret = uci_tree_add_list_value(ps->section, name, value);
	else
		ret = uci_tree_set_option(ps->section, name, value);
	return ret ? uci_ctx_fail(ps->ctx, ret) : UCI_OK;
}

static int run_statement(struct parser *ps)
{
	const char *keyword = ps->words[0];

	if (is_keyword(keyword, "package")) {
		if (ps->n_words != 2)
			return fail_statement(ps, "package needs one name");
		return UCI_OK;
	}
	if (is_keyword(keyword, "config"))
		return run_config(ps);
	if (is_keyword(keyword, "option"))
		return run_option(ps, false);
	if (is_keyword(keyword, "list"))
		return run_option(ps, true);
	return fail_statement(ps, "invalid command");
}

static int parse(struct parser *ps)
{
	for (;;) {
		char c;
		int ret;

		skip_blanks(ps);
		c = *ps->pos;
		if (c == '#') {
			while (*ps->pos && *ps->pos != '\n')
				ps->pos++;
			continue;
		}
		if (c != 0 && c != '\n' && c != ';') {
			ret = read_word(ps);
			if (ret)
				return ret;
			continue;
		}

		if (ps->n_words) {
			ret = run_statement(ps);
			if (ret)
				return ret;
		}
		ps->n_words = 0;
		ps->used = 0;
		if (c == 0)
			return close_section(ps);
		ps->pos++;
		if (c == '\n')
			next_line(ps, ps->pos);
	}
}

// A NUL byte has no place in a text file and would cut a value short.
static int check_no_nul(struct parser *ps, const char *text, size_t len)
{
	const char *nul = (const char *) memchr(text, 0, len);
	const char *line_start = text;
	int line = 1;

	if (!nul)
		return UCI_OK;
	for (const char *c = text; c < nul; c++) {
		if (*c == '\n') {
			line++;
			line_start = c + 1;
		}
	}
	return fail_at(ps, "NUL byte in file", nul, line, line_start);
}

int uci_file_parse(struct uci_context *ctx, struct uci_package *p, const char *text, size_t len)
{
	struct parser ps;
	int ret;

	memset(&ps, 0, sizeof(ps));
	ps.ctx = ctx;
	ps.p = p;
	ps.pos = text;
	ps.line_start = text;
	ps.line = 1;

	ret = check_no_nul(&ps, text, len);
	if (ret)
		return ret;
	// every word is at most as long as its text plus its NUL
	ps.scratch = (char *) malloc(len + 2);
	// p is new: its sections all come from this text
	ps.names = uci_section_names_new();
	if (ps.scratch && ps.names)
		ret = parse(&ps);
	else
		ret = uci_ctx_fail(ctx, UCI_ERR_MEM);
	uci_section_names_free(ps.names);
	free(ps.scratch);
	return ret;
}
