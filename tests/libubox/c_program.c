/*
 * A C user of every libubox header: builds a message, prints it as JSON
 * and runs the loop until a timer ends it. Exits 0 when all went as
 * expected.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <libubox/avl.h>
#include <libubox/blob.h>
#include <libubox/blobmsg.h>
#include <libubox/blobmsg_json.h>
#include <libubox/list.h>
#include <libubox/uloop.h>
#include <libubox/utils.h>

struct named {
	struct avl_node avl;
	struct list_head list;
	int value;
};

static int fired;

static void on_timeout(struct uloop_timeout *t)
{
	(void) t;
	fired++;
	uloop_end();
}

static int check(int ok, const char *what)
{
	if (!ok)
		fprintf(stderr, "failed: %s\n", what);
	return ok ? 0 : 1;
}

int main(void)
{
	static struct blob_buf b;
	struct uloop_timeout timer = { .cb = on_timeout };
	struct avl_tree tree;
	struct named one = { .value = 1 }, two = { .value = 2 }, *cur;
	LIST_HEAD(items);
	int failures = 0, sum = 0;
	char *json;
	void *table;

	blob_buf_init(&b, 0);
	blobmsg_add_string(&b, "msg_type", "status");
	table = blobmsg_open_table(&b, "data");
	blobmsg_add_u64(&b, "n", 7);
	blobmsg_close_table(&b, table);
	json = blobmsg_format_json(b.head, true);
	failures += check(json && !strcmp(json, "{\"msg_type\":\"status\",\"data\":{\"n\":7}}"), "json");
	free(json);
	blob_buf_free(&b);

	avl_init(&tree, avl_strcmp, false, NULL);
	one.avl.key = "b";
	two.avl.key = "a";
	avl_insert(&tree, &one.avl);
	avl_insert(&tree, &two.avl);
	avl_for_each_element(&tree, cur, avl)
		sum = sum * 10 + cur->value;
	failures += check(sum == 21, "avl order");

	list_add_tail(&one.list, &items);
	list_add_tail(&two.list, &items);
	sum = 0;
	list_for_each_entry(cur, &items, list)
		sum = sum * 10 + cur->value;
	failures += check(sum == 12, "list order");

	failures += check(uloop_init() == 0, "uloop_init");
	uloop_timeout_set(&timer, 1);
	uloop_run();
	uloop_done();
	failures += check(fired == 1, "timer");

	return failures ? 1 : 0;
}
