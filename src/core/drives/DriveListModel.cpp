#include "core/drives/DriveListModel.h"

#include "core/app/ActivityLog.h"
#include "core/app/StringTable.h"
#include "core/drives/DriveMessages.h"

namespace kestrava::drives {

std::vector<std::string> columnHeaders()
{
    return {loadAppString(kMsgColumnDrive),     loadAppString(kMsgColumnVolumeName),
            loadAppString(kMsgColumnFolder),    loadAppString(kMsgColumnMounted),
            loadAppString(kMsgColumnAutoMount), loadAppString(kMsgColumnRequirePassword)};
}

namespace {

// Whether child lies inside (or is) parent, compared by whole path components.
bool isInside(const std::filesystem::path& child, const std::filesystem::path& parent)
{
    const auto c = child.lexically_normal();
    auto p = parent.lexically_normal();
    if (!p.empty() && !p.has_filename()) {
        p = p.parent_path(); // "/a/b/" -> "/a/b"
    }
    auto ci = c.begin();
    for (auto pi = p.begin(); pi != p.end(); ++pi, ++ci) {
        if (ci == c.end() || *ci != *pi) {
            return false;
        }
    }
    return true;
}

} // namespace

int rowIconIndex(const std::filesystem::path& folder, const CloudFolderLookup& lookup)
{
    if (!lookup) {
        return 0;
    }
    for (int icon = 1; icon <= 5; ++icon) {
        const std::string cloudFolder = lookup(icon);
        if (!cloudFolder.empty() && isInside(folder, cloudFolder)) {
            return icon;
        }
    }
    return 0;
}

int mountStateTextId(MountState state)
{
    switch (state) {
    case MountState::Mounted:
        return kTextYes;
    case MountState::NotMounted:
        return kTextNo;
    case MountState::FolderMissing:
        return kTextMountError;
    }
    return kTextMountError;
}

std::string DriveRow::cell(Column column) const
{
    switch (column) {
    case Column::Drive:
        return letter;
    case Column::VolumeName:
        return label;
    case Column::FolderLocation:
        return folderCell;
    case Column::Mounted:
        return loadAppString(mountStateTextId(mounted));
    case Column::AutoMount:
        return loadAppString(autoMount ? kTextYes : kTextNo);
    case Column::RequirePassword:
        return loadAppString(passwordRemembered ? kTextNo : kTextYes);
    }
    return {};
}

std::string DriveRow::folder() const
{
    return folderFromCell(folderCell);
}

std::string missingFolderCell(std::string_view folder)
{
    return std::string(kMissingFolderPrefix) + " " + std::string(folder);
}

std::string folderFromCell(std::string_view cell)
{
    const std::string prefix = std::string(kMissingFolderPrefix) + " ";
    if (cell.substr(0, prefix.size()) == prefix) {
        cell.remove_prefix(prefix.size());
    }
    return std::string(cell);
}

void DriveListModel::setListener(Listener listener)
{
    std::lock_guard lock(m_mutex);
    m_listener = std::move(listener);
}

void DriveListModel::clear()
{
    {
        std::lock_guard lock(m_mutex);
        m_rows.clear();
    }
    notify(Change::Cleared, 0);
}

std::size_t DriveListModel::addRow(const DriveRow& row)
{
    std::size_t index = 0;
    {
        std::lock_guard lock(m_mutex);
        index = m_rows.size();
        m_rows.push_back(row);
    }
    writeLog("AddItem: %d - %s", static_cast<int>(index), row.folderCell.c_str());
    notify(Change::Added, index);
    return index;
}

bool DriveListModel::updateRow(std::size_t index, const DriveRow& row)
{
    {
        std::lock_guard lock(m_mutex);
        if (index >= m_rows.size()) {
            return false;
        }
        m_rows[index] = row;
    }
    writeLog("RefreshItem: %d - %s", static_cast<int>(index), row.folderCell.c_str());
    notify(Change::Updated, index);
    return true;
}

bool DriveListModel::removeRow(std::size_t index)
{
    {
        std::lock_guard lock(m_mutex);
        if (index >= m_rows.size()) {
            return false;
        }
        m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(index));
    }
    notify(Change::Removed, index);
    return true;
}

std::size_t DriveListModel::size() const
{
    std::lock_guard lock(m_mutex);
    return m_rows.size();
}

std::optional<DriveRow> DriveListModel::row(std::size_t index) const
{
    std::lock_guard lock(m_mutex);
    if (index >= m_rows.size()) {
        return std::nullopt;
    }
    return m_rows[index];
}

std::vector<DriveRow> DriveListModel::rows() const
{
    std::lock_guard lock(m_mutex);
    return m_rows;
}

std::optional<std::size_t> DriveListModel::findByFolder(std::string_view folder) const
{
    std::lock_guard lock(m_mutex);
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].folder() == folder) {
            return i;
        }
    }
    return std::nullopt;
}

void DriveListModel::notify(Change change, std::size_t index) const
{
    Listener listener;
    {
        std::lock_guard lock(m_mutex);
        listener = m_listener;
    }
    if (listener) {
        listener(change, index);
    }
}

} // namespace kestrava::drives
