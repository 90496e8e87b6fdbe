// avl: an ordered collection kept as a sorted list.
//
// The tree members (parent, left, right, balance) are not used: lookups
// walk the key-ordered list, which is all the iteration macros need and
// plenty for the few dozen objects a bus client holds.
extern "C" {
#include <libubox/avl.h>
}

#include <string.h>

void avl_init(struct avl_tree *tree, avl_tree_comp comp, bool allow_dups, void *ptr)
{
	INIT_LIST_HEAD(&tree->list_head);
	tree->root = NULL;
	tree->count = 0;
	tree->comp = comp;
	tree->allow_dups = allow_dups;
	tree->cmp_ptr = ptr;
}

static int avl_compare(const struct avl_tree *tree, const void *k1, const void *k2)
{
	return tree->comp(k1, k2, tree->cmp_ptr);
}

static struct avl_node *avl_node_of(struct list_head *entry)
{
	return container_of(entry, struct avl_node, list);
}

// first node whose key is not less than key, or NULL
struct avl_node *avl_find_greaterequal(const struct avl_tree *tree, const void *key)
{
	struct list_head *pos;

	list_for_each(pos, &tree->list_head) {
		struct avl_node *node = avl_node_of(pos);

		if (avl_compare(tree, node->key, key) >= 0)
			return node;
	}
	return NULL;
}

// last node whose key is not greater than key, or NULL
struct avl_node *avl_find_lessequal(const struct avl_tree *tree, const void *key)
{
	struct list_head *pos;

	list_for_each_prev(pos, &tree->list_head) {
		struct avl_node *node = avl_node_of(pos);

		if (avl_compare(tree, node->key, key) <= 0)
			return node;
	}
	return NULL;
}

struct avl_node *avl_find(const struct avl_tree *tree, const void *key)
{
	struct avl_node *node = avl_find_greaterequal(tree, key);

	if (node && avl_compare(tree, node->key, key) == 0)
		return node;
	return NULL;
}

int avl_insert(struct avl_tree *tree, struct avl_node *new_node)
{
	struct avl_node *after = avl_find_lessequal(tree, new_node->key);
	bool equal = after && avl_compare(tree, after->key, new_node->key) == 0;

	if (equal && !tree->allow_dups)
		return -1;

	new_node->parent = new_node->left = new_node->right = NULL;
	new_node->balance = 0;
	new_node->leader = !equal;

	// after the last node with an equal or smaller key: equal keys keep
	// their insertion order
	list_add(&new_node->list, after ? &after->list : &tree->list_head);
	tree->count++;
	tree->root = avl_node_of(tree->list_head.next);
	return 0;
}

void avl_delete(struct avl_tree *tree, struct avl_node *node)
{
	struct list_head *next = node->list.next;

	if (node->leader && next != &tree->list_head) {
		struct avl_node *follower = avl_node_of(next);

		if (avl_compare(tree, follower->key, node->key) == 0)
			follower->leader = true;
	}

	list_del(&node->list);
	tree->count--;
	tree->root = tree->count ? avl_node_of(tree->list_head.next) : NULL;
}

int avl_strcmp(const void *k1, const void *k2, void *ptr)
{
	(void) ptr;
	return strcmp((const char *) k1, (const char *) k2);
}
