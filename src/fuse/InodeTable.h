// The kernel's nodes of one mounted drive. The kernel names files by node numbers; the
// handlers take plain paths. Each node stands for one backing entry (device and inode number),
// so the hard links of a file are one node whose link count, size and times agree under
// every name at once. A node remembers the names (parent node and plain name) it was handed
// out under, most recent first, and is turned back into a path from them. It lives while the
// kernel holds lookups on it. Nothing here knows FUSE, so it is tested on its own.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kestrava::fuse {

using NodeId = std::uint64_t;
inline constexpr NodeId kRootNode = 1;

class InodeTable
{
public:
    InodeTable();

    // The node of the backing entry st describes, handed to the kernel as name inside parent:
    // counts one lookup. An inode number now used by an entry of another type (the old entry
    // was removed and its number reused) gets a node of its own.
    NodeId remember(NodeId parent, std::string_view name, const struct stat& st);
    // The kernel dropped count lookups; the node goes when none remain (the root stays).
    void forget(NodeId node, std::uint64_t count);

    // The plain path the node is reached by now, or nothing once it has no name left.
    std::optional<std::string> pathOf(NodeId node) const;
    // The plain path of name inside parent, or nothing when parent cannot be reached.
    std::optional<std::string> childPath(NodeId parent, std::string_view name) const;
    // Whether st is the backing entry the node stands for.
    bool isEntryOf(NodeId node, const struct stat& st) const;
    // Whether the node is of the file type in mode.
    bool hasType(NodeId node, mode_t mode) const;

    // The name is gone (removed, or missing when the kernel asked for it again).
    void unlinked(NodeId parent, std::string_view name);
    // A rename succeeded; with exchange both names swapped their entries.
    void renamed(NodeId parent, std::string_view name, NodeId newParent, std::string_view newName,
                 bool exchange);

    // Open handles of a node: a file removed while open keeps answering through them.
    void opened(NodeId node, std::uint64_t handle);
    void closed(NodeId node, std::uint64_t handle);
    std::optional<std::uint64_t> anyHandle(NodeId node) const;

    std::size_t size() const;
    std::uint64_t lookupsOf(NodeId node) const;

private:
    using Identity = std::pair<dev_t, ino_t>;
    using Name = std::pair<NodeId, std::string>;

    struct Node
    {
        Identity identity{};
        mode_t type = 0;
        bool keyed = false; // found by its identity; not once another entry took the number
        std::uint64_t lookups = 0;
        std::vector<Name> names; // most recent first
        std::vector<std::uint64_t> handles;
    };

    std::optional<std::string> pathLocked(NodeId node, int depth) const;
    void addNameLocked(NodeId node, NodeId parent, std::string_view name);
    // The node that held the name, or 0.
    NodeId dropNameLocked(NodeId parent, std::string_view name);
    void eraseLocked(std::unordered_map<NodeId, Node>::iterator node);

    mutable std::mutex m_mutex;
    std::unordered_map<NodeId, Node> m_nodes;
    std::map<Identity, NodeId> m_byIdentity;
    std::map<Name, NodeId> m_byName;
    NodeId m_next = kRootNode + 1;
};

} // namespace kestrava::fuse
