// The drive list as rows a view can show: one row per drive record, six columns of text and
// an icon index. The model is filled by the mount flow's worker threads and read by the view,
// so every access takes its lock; a listener hears of each change after the lock is released.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::drives {

inline constexpr std::string_view kMissingFolderPrefix = "<Path does not exist!>";

// Whether a row's drive is mounted. Views show it by string id (mountStateTextId).
enum class MountState
{
    Mounted,
    NotMounted,
    FolderMissing, // the backing folder is gone: the row cannot be mounted
};

inline constexpr int kTextYes = 1329;
inline constexpr int kTextNo = 1330;
inline constexpr int kTextMountError = 1331;

// "Yes", "No" or "Error!".
int mountStateTextId(MountState state);

enum class Column
{
    Drive,
    VolumeName,
    FolderLocation,
    Mounted,
    AutoMount,
    RequirePassword,
};
inline constexpr std::size_t kColumnCount = 6;

// The header texts, in column order.
std::vector<std::string> columnHeaders();

// Finds the folder of a cloud service's sync client by the row icon it stands for (1 Dropbox,
// 2 SkyDrive, 3 Google Drive, 4 Box, 5 Bitcasa); empty when that client is not found.
using CloudFolderLookup = std::function<std::string(int iconIndex)>;

// The icon of a row: the first cloud service, in icon order, whose folder contains the backing
// folder; 0 for any other folder (and with no lookup).
int rowIconIndex(const std::filesystem::path& folder, const CloudFolderLookup& lookup);

struct DriveRow
{
    std::string letter; // "K:"
    std::string label;
    std::string folderCell; // the folder, or "<Path does not exist!> " and the folder
    MountState mounted = MountState::NotMounted;
    bool autoMount = false;
    bool passwordRemembered = false;
    int icon = 0;

    // The column's text as the drive list shows it.
    std::string cell(Column column) const;
    // The backing folder without the missing-folder prefix.
    std::string folder() const;
    bool isMounted() const { return mounted == MountState::Mounted; }
};

std::string missingFolderCell(std::string_view folder);
std::string folderFromCell(std::string_view cell);

class DriveListModel
{
public:
    enum class Change
    {
        Cleared,
        Added,
        Updated,
        Removed,
    };
    using Listener = std::function<void(Change, std::size_t row)>;

    void setListener(Listener listener);

    void clear();
    // AddItem: appends a row and returns its index.
    std::size_t addRow(const DriveRow& row);
    // RefreshItem: rewrites every cell of a row; false when there is no such row.
    bool updateRow(std::size_t index, const DriveRow& row);
    bool removeRow(std::size_t index);

    std::size_t size() const;
    std::optional<DriveRow> row(std::size_t index) const;
    std::vector<DriveRow> rows() const;
    // The first row whose folder (without prefix) equals folder exactly.
    std::optional<std::size_t> findByFolder(std::string_view folder) const;

private:
    void notify(Change change, std::size_t index) const;

    mutable std::mutex m_mutex;
    std::vector<DriveRow> m_rows;
    Listener m_listener;
};

} // namespace kestrava::drives
