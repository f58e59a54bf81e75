#include "fuse/LinkedNames.h"

namespace kestrava::fuse {

void LinkedNames::note(std::string_view path, const struct stat& st)
{
    if (S_ISDIR(st.st_mode) || st.st_nlink < 2) {
        return;
    }
    const FileId file{st.st_dev, st.st_ino};
    std::lock_guard lock(m_lock);
    const auto known = m_fileOf.find(path);
    if (known != m_fileOf.end() && known->second == file) {
        return;
    }
    if (known == m_fileOf.end() && m_fileOf.size() >= kMaxNames) {
        return;
    }
    const std::string name(path);
    forgetLocked(name);
    m_fileOf.emplace(name, file);
    m_namesOf[file].insert(name);
    m_any.store(true, std::memory_order_relaxed);
}

void LinkedNames::forgetLocked(const std::string& path)
{
    const auto known = m_fileOf.find(path);
    if (known == m_fileOf.end()) {
        return;
    }
    const auto names = m_namesOf.find(known->second);
    if (names != m_namesOf.end()) {
        names->second.erase(path);
        if (names->second.empty()) {
            m_namesOf.erase(names);
        }
    }
    m_fileOf.erase(known);
    m_any.store(!m_fileOf.empty(), std::memory_order_relaxed);
}

std::vector<std::string> LinkedNames::removed(std::string_view path)
{
    if (empty()) {
        return {};
    }
    std::lock_guard lock(m_lock);
    const auto known = m_fileOf.find(path);
    if (known == m_fileOf.end()) {
        return {};
    }
    const FileId file = known->second;
    forgetLocked(std::string(path));
    const auto names = m_namesOf.find(file);
    if (names == m_namesOf.end()) {
        return {};
    }
    return {names->second.begin(), names->second.end()};
}

std::vector<std::string> LinkedNames::othersOf(const FileId& file, std::string_view path)
{
    std::lock_guard lock(m_lock);
    std::vector<std::string> others;
    const auto names = m_namesOf.find(file);
    if (names != m_namesOf.end()) {
        for (const std::string& name : names->second) {
            if (name != path) {
                others.push_back(name);
            }
        }
    }
    return others;
}

bool LinkedNames::fileOf(std::string_view path, FileId* file)
{
    if (empty()) {
        return false;
    }
    std::lock_guard lock(m_lock);
    const auto known = m_fileOf.find(path);
    if (known == m_fileOf.end()) {
        return false;
    }
    *file = known->second;
    return true;
}

void LinkedNames::moved(std::string_view from, std::string_view to)
{
    if (empty()) {
        return;
    }
    std::lock_guard lock(m_lock);
    std::vector<std::pair<std::string, FileId>> renamed;
    if (const auto same = m_fileOf.find(from); same != m_fileOf.end()) {
        renamed.emplace_back("", same->second);
    }
    const std::string prefix = std::string(from) + "/";
    for (auto it = m_fileOf.lower_bound(prefix); it != m_fileOf.end() && it->first.starts_with(prefix);
         ++it) {
        renamed.emplace_back(it->first.substr(from.size()), it->second);
    }
    for (const auto& [tail, file] : renamed) {
        const std::string newName = std::string(to) + tail;
        forgetLocked(std::string(from) + tail);
        forgetLocked(newName);
        m_fileOf.emplace(newName, file);
        m_namesOf[file].insert(newName);
    }
    m_any.store(!m_fileOf.empty(), std::memory_order_relaxed);
}

} // namespace kestrava::fuse
