// The kernel's nodes: one per backing entry, paths from the names they were handed out under,
// lookup counts, open handles and the cached attribute names.
#include "fuse/InodeTable.h"

#include <gtest/gtest.h>

namespace kestrava::fuse {
namespace {

struct stat entry(ino_t ino, mode_t type = S_IFREG)
{
    struct stat st
    {
    };
    st.st_dev = 7;
    st.st_ino = ino;
    st.st_mode = type | 0644;
    return st;
}

TEST(InodeTable, HardLinksAreOneNodeThatLivesWhileTheKernelHoldsLookups)
{
    InodeTable nodes;
    const NodeId dir = nodes.remember(kRootNode, "d", entry(10, S_IFDIR));
    const NodeId a = nodes.remember(dir, "a", entry(11));
    const NodeId b = nodes.remember(kRootNode, "b", entry(11));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, dir);
    EXPECT_NE(a, kRootNode);
    EXPECT_EQ(nodes.lookupsOf(a), 2u);
    EXPECT_EQ(nodes.pathOf(a), "/b") << "the most recent name comes first";
    EXPECT_EQ(nodes.pathOf(dir), "/d");
    EXPECT_EQ(nodes.pathOf(kRootNode), "/");
    EXPECT_EQ(nodes.childPath(dir, "x"), "/d/x");
    EXPECT_EQ(nodes.childPath(kRootNode, "x"), "/x");

    nodes.unlinked(kRootNode, "b");
    EXPECT_EQ(nodes.pathOf(a), "/d/a") << "the other link still names it";
    nodes.forget(a, 1);
    EXPECT_EQ(nodes.lookupsOf(a), 1u);
    nodes.forget(a, 5); // more than it holds: gone, not wrapped around
    EXPECT_EQ(nodes.lookupsOf(a), 0u);
    EXPECT_FALSE(nodes.pathOf(a));
    EXPECT_EQ(nodes.size(), 2u); // the root and d

    // A forgotten entry comes back as a new node; the root is never forgotten.
    EXPECT_NE(nodes.remember(dir, "a", entry(11)), a);
    nodes.forget(kRootNode, 10);
    EXPECT_EQ(nodes.pathOf(kRootNode), "/");
    EXPECT_EQ(nodes.childPath(12345, "x"), std::nullopt) << "unknown parent";
}

TEST(InodeTable, ReusedInodeNumberOfAnotherTypeGetsItsOwnNode)
{
    InodeTable nodes;
    const NodeId file = nodes.remember(kRootNode, "x", entry(20));
    const NodeId again = nodes.remember(kRootNode, "x", entry(20));
    EXPECT_EQ(file, again);
    // Removed behind our back, and its number reused by a folder under the same name.
    const NodeId folder = nodes.remember(kRootNode, "x", entry(20, S_IFDIR));
    EXPECT_NE(folder, file);
    EXPECT_TRUE(nodes.hasType(folder, S_IFDIR));
    EXPECT_TRUE(nodes.hasType(file, S_IFREG));
    EXPECT_EQ(nodes.pathOf(folder), "/x");
    EXPECT_FALSE(nodes.pathOf(file)) << "the name went to the folder";
    EXPECT_EQ(nodes.remember(kRootNode, "y", entry(20, S_IFDIR)), folder);
    // The old node leaves without taking the new one's identity along.
    nodes.forget(file, 2);
    EXPECT_EQ(nodes.remember(kRootNode, "z", entry(20, S_IFDIR)), folder);
    EXPECT_TRUE(nodes.isEntryOf(folder, entry(20, S_IFDIR)));
    EXPECT_FALSE(nodes.isEntryOf(folder, entry(21, S_IFDIR)));
}

TEST(InodeTable, PathsFollowRenamesReplacementsAndExchanges)
{
    InodeTable nodes;
    const NodeId d = nodes.remember(kRootNode, "d", entry(1, S_IFDIR));
    const NodeId e = nodes.remember(kRootNode, "e", entry(2, S_IFDIR));
    const NodeId f = nodes.remember(d, "f", entry(3));
    const NodeId g = nodes.remember(e, "g", entry(4));

    nodes.renamed(kRootNode, "d", e, "moved", false);
    EXPECT_EQ(nodes.pathOf(f), "/e/moved/f") << "the subtree moves along";

    nodes.renamed(d, "f", e, "g", false); // f replaces g
    EXPECT_EQ(nodes.pathOf(f), "/e/g");
    EXPECT_FALSE(nodes.pathOf(g));
    EXPECT_EQ(nodes.lookupsOf(g), 1u) << "the replaced file lives on until forgotten";

    const NodeId h = nodes.remember(kRootNode, "h", entry(5));
    nodes.renamed(e, "g", kRootNode, "h", true);
    EXPECT_EQ(nodes.pathOf(f), "/h");
    EXPECT_EQ(nodes.pathOf(h), "/e/g");

    // A rename of a name the kernel never asked for changes nothing else.
    nodes.renamed(kRootNode, "unknown", kRootNode, "other", false);
    EXPECT_EQ(nodes.pathOf(h), "/e/g");

    // A name found missing again is dropped; a folder without a name hides its subtree.
    nodes.unlinked(kRootNode, "e");
    EXPECT_FALSE(nodes.pathOf(h));
    EXPECT_FALSE(nodes.childPath(e, "g"));
}

TEST(InodeTable, RemovedFileAnswersThroughItsOpenHandles)
{
    InodeTable nodes;
    const NodeId file = nodes.remember(kRootNode, "open", entry(30));
    EXPECT_FALSE(nodes.anyHandle(file));
    nodes.opened(file, 101);
    nodes.opened(file, 102);
    nodes.unlinked(kRootNode, "open");
    EXPECT_FALSE(nodes.pathOf(file));
    nodes.closed(file, 101);
    EXPECT_EQ(nodes.anyHandle(file), 102u);
    nodes.closed(file, 102);
    EXPECT_FALSE(nodes.anyHandle(file));
    nodes.closed(file, 102); // twice: nothing happens
    nodes.opened(999, 1);    // an unknown node: nothing happens
    EXPECT_FALSE(nodes.anyHandle(999));
}

} // namespace
} // namespace kestrava::fuse
