#include "fuse/InodeTable.h"

#include <algorithm>

namespace kestrava::fuse {
namespace {

// Deeper than any real path; only stale names that loop could reach it.
constexpr int kMaxDepth = 4096;

std::string joined(const std::string& folder, std::string_view name)
{
    std::string path = folder;
    if (path.back() != '/') {
        path += '/';
    }
    return path.append(name);
}

} // namespace

InodeTable::InodeTable()
{
    Node root;
    root.type = S_IFDIR;
    root.lookups = 1; // the kernel holds the root for the whole mount
    m_nodes.emplace(kRootNode, std::move(root));
}

NodeId InodeTable::remember(NodeId parent, std::string_view name, const struct stat& st)
{
    const Identity identity{st.st_dev, st.st_ino};
    const mode_t type = st.st_mode & S_IFMT;
    std::lock_guard lock(m_mutex);
    NodeId id = 0;
    if (const auto known = m_byIdentity.find(identity); known != m_byIdentity.end()) {
        Node& node = m_nodes.at(known->second);
        if (node.type == type) {
            id = known->second;
        } else {
            // The kernel refuses a node that changes its type: the reused number gets a new one.
            node.keyed = false;
            m_byIdentity.erase(known);
        }
    }
    if (id == 0) {
        id = m_next++;
        Node node;
        node.identity = identity;
        node.type = type;
        node.keyed = true;
        m_nodes.emplace(id, std::move(node));
        m_byIdentity.emplace(identity, id);
    }
    addNameLocked(id, parent, name);
    ++m_nodes.at(id).lookups;
    return id;
}

void InodeTable::forget(NodeId node, std::uint64_t count)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_nodes.find(node);
    if (it == m_nodes.end() || node == kRootNode) {
        return;
    }
    it->second.lookups -= std::min(count, it->second.lookups);
    if (it->second.lookups == 0) {
        eraseLocked(it);
    }
}

void InodeTable::eraseLocked(std::unordered_map<NodeId, Node>::iterator node)
{
    for (const Name& name : node->second.names) {
        m_byName.erase(name);
    }
    if (node->second.keyed) {
        m_byIdentity.erase(node->second.identity);
    }
    m_nodes.erase(node);
}

void InodeTable::addNameLocked(NodeId node, NodeId parent, std::string_view name)
{
    Name key{parent, std::string(name)};
    const auto holder = m_byName.find(key);
    if (holder != m_byName.end() && holder->second != node) {
        dropNameLocked(parent, name); // the name now stands for another entry
    }
    std::vector<Name>& names = m_nodes.at(node).names;
    const auto same = std::find(names.begin(), names.end(), key);
    if (same != names.end()) {
        names.erase(same);
    }
    names.insert(names.begin(), key);
    m_byName[std::move(key)] = node;
}

NodeId InodeTable::dropNameLocked(NodeId parent, std::string_view name)
{
    const Name key{parent, std::string(name)};
    const auto holder = m_byName.find(key);
    if (holder == m_byName.end()) {
        return 0;
    }
    const NodeId node = holder->second;
    m_byName.erase(holder);
    if (const auto it = m_nodes.find(node); it != m_nodes.end()) {
        std::vector<Name>& names = it->second.names;
        names.erase(std::remove(names.begin(), names.end(), key), names.end());
    }
    return node;
}

std::optional<std::string> InodeTable::pathLocked(NodeId node, int depth) const
{
    if (node == kRootNode) {
        return std::string("/");
    }
    const auto it = m_nodes.find(node);
    if (it == m_nodes.end() || depth > kMaxDepth) {
        return std::nullopt;
    }
    for (const auto& [parent, name] : it->second.names) {
        if (const auto folder = pathLocked(parent, depth + 1)) {
            return joined(*folder, name);
        }
    }
    return std::nullopt;
}

std::optional<std::string> InodeTable::pathOf(NodeId node) const
{
    std::lock_guard lock(m_mutex);
    return pathLocked(node, 0);
}

std::optional<std::string> InodeTable::childPath(NodeId parent, std::string_view name) const
{
    std::lock_guard lock(m_mutex);
    const auto folder = pathLocked(parent, 0);
    if (!folder) {
        return std::nullopt;
    }
    return joined(*folder, name);
}

bool InodeTable::isEntryOf(NodeId node, const struct stat& st) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_nodes.find(node);
    return it != m_nodes.end() && it->second.identity == Identity{st.st_dev, st.st_ino};
}

bool InodeTable::hasType(NodeId node, mode_t mode) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_nodes.find(node);
    return it != m_nodes.end() && it->second.type == (mode & S_IFMT);
}

void InodeTable::unlinked(NodeId parent, std::string_view name)
{
    std::lock_guard lock(m_mutex);
    dropNameLocked(parent, name);
}

void InodeTable::renamed(NodeId parent, std::string_view name, NodeId newParent, std::string_view newName,
                         bool exchange)
{
    std::lock_guard lock(m_mutex);
    const NodeId moved = dropNameLocked(parent, name);
    const NodeId replaced = dropNameLocked(newParent, newName);
    if (moved != 0) {
        addNameLocked(moved, newParent, newName);
    }
    if (exchange && replaced != 0) {
        addNameLocked(replaced, parent, name);
    }
}

void InodeTable::opened(NodeId node, std::uint64_t handle)
{
    std::lock_guard lock(m_mutex);
    if (const auto it = m_nodes.find(node); it != m_nodes.end()) {
        it->second.handles.push_back(handle);
    }
}

void InodeTable::closed(NodeId node, std::uint64_t handle)
{
    std::lock_guard lock(m_mutex);
    if (const auto it = m_nodes.find(node); it != m_nodes.end()) {
        std::vector<std::uint64_t>& handles = it->second.handles;
        const auto open = std::find(handles.begin(), handles.end(), handle);
        if (open != handles.end()) {
            handles.erase(open);
        }
    }
}

std::optional<std::uint64_t> InodeTable::anyHandle(NodeId node) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_nodes.find(node);
    if (it == m_nodes.end() || it->second.handles.empty()) {
        return std::nullopt;
    }
    return it->second.handles.front();
}

std::size_t InodeTable::size() const
{
    std::lock_guard lock(m_mutex);
    return m_nodes.size();
}

std::uint64_t InodeTable::lookupsOf(NodeId node) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_nodes.find(node);
    return it == m_nodes.end() ? 0 : it->second.lookups;
}

} // namespace kestrava::fuse
