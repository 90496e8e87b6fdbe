// The ordered collection the bus client keeps its objects in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

extern "C" {
#include <libubox/avl.h>
}

namespace {

struct item {
	struct avl_node avl;
	int id;
};

static std::vector<int> ids(struct avl_tree *tree)
{
	std::vector<int> out;
	struct item *cur;

	avl_for_each_element(tree, cur, avl)
		out.push_back(cur->id);
	return out;
}

TEST(Avl, KeepsKeyOrderAndFindsByKey)
{
	struct avl_tree tree;
	struct item items[5];
	const char *keys[5] = { "m", "c", "x", "a", "m" };

	avl_init(&tree, avl_strcmp, false, NULL);
	EXPECT_TRUE(ids(&tree).empty());
	for (int i = 0; i < 5; i++) {
		items[i].id = i;
		items[i].avl.key = keys[i];
	}
	for (int i = 0; i < 4; i++)
		ASSERT_EQ(avl_insert(&tree, &items[i].avl), 0);
	EXPECT_EQ(avl_insert(&tree, &items[4].avl), -1) << "duplicate key accepted";

	EXPECT_EQ(ids(&tree), (std::vector<int>{ 3, 1, 0, 2 }));
	EXPECT_EQ(tree.count, 4u);

	struct item *found;
	found = avl_find_element(&tree, "c", found, avl);
	ASSERT_TRUE(found);
	EXPECT_EQ(found->id, 1);
	EXPECT_FALSE(avl_find(&tree, "d"));
	EXPECT_EQ(avl_find_le_element(&tree, "d", found, avl)->id, 1);
	EXPECT_EQ(avl_find_ge_element(&tree, "d", found, avl)->id, 0);
	EXPECT_FALSE(avl_find_greaterequal(&tree, "y"));

	avl_delete(&tree, &items[0].avl);
	EXPECT_EQ(ids(&tree), (std::vector<int>{ 3, 1, 2 }));

	struct item *cur, *tmp;
	avl_for_each_element_safe(&tree, cur, avl, tmp)
		avl_delete(&tree, &cur->avl);
	EXPECT_TRUE(avl_is_empty(&tree));
	EXPECT_TRUE(ids(&tree).empty());
}

TEST(Avl, DuplicatesKeepInsertionOrder)
{
	struct avl_tree tree;
	struct item items[3];

	avl_init(&tree, avl_strcmp, true, NULL);
	for (int i = 0; i < 3; i++) {
		items[i].id = i;
		items[i].avl.key = i == 1 ? "a" : "b";
		ASSERT_EQ(avl_insert(&tree, &items[i].avl), 0);
	}
	EXPECT_EQ(ids(&tree), (std::vector<int>{ 1, 0, 2 }));
	EXPECT_EQ(avl_find(&tree, "b"), &items[0].avl);
}

} // namespace
