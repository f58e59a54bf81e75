#include "gui/DriveTableModel.h"

#include "core/drives/DriveMessages.h"
#include "gui/AppText.h"
#include "gui/Icons.h"

#include <QMetaObject>

namespace kestrava::gui {
namespace {

using drives::Column;

constexpr int kColumnHeaderIds[] = {drives::kMsgColumnDrive,     drives::kMsgColumnVolumeName,
                                    drives::kMsgColumnFolder,    drives::kMsgColumnMounted,
                                    drives::kMsgColumnAutoMount, drives::kMsgColumnRequirePassword};

QString yesNo(bool value)
{
    return appText(value ? text::Yes : text::No);
}

} // namespace

DriveTableModel::DriveTableModel(drives::DriveListModel& source, QObject* parent)
    : QAbstractTableModel(parent), m_source(source)
{
    // Changes come from worker threads: copy the rows once on the GUI thread, however many
    // changes arrive before it runs.
    m_source.setListener([this](drives::DriveListModel::Change, std::size_t) {
        if (!m_syncQueued.exchange(true)) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_syncQueued = false; // later changes queue another copy
                    synchronize();
                },
                Qt::QueuedConnection);
        }
    });
    synchronize();
}

DriveTableModel::~DriveTableModel()
{
    m_source.setListener({});
}

DriveEntry DriveTableModel::toEntry(const drives::DriveRow& row)
{
    DriveEntry entry;
    entry.letter = QString::fromStdString(row.letter);
    entry.label = QString::fromStdString(row.label);
    entry.folder = QString::fromStdString(row.folder());
    entry.state = row.mounted;
    entry.autoMount = row.autoMount;
    entry.passwordRemembered = row.passwordRemembered;
    entry.cloudIcon = row.icon;
    return entry;
}

void DriveTableModel::synchronize()
{
    std::vector<DriveEntry> rows;
    for (const drives::DriveRow& row : m_source.rows()) {
        rows.push_back(toEntry(row));
    }
    if (rows.size() == m_rows.size()) {
        // Same rows, new contents: the selection stays.
        m_rows = std::move(rows);
        if (!m_rows.empty()) {
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        }
        return;
    }
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int DriveTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int DriveTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(drives::kColumnCount);
}

QString DriveTableModel::cellText(const DriveEntry& entry, int column) const
{
    switch (static_cast<Column>(column)) {
    case Column::Drive:
        return entry.letter;
    case Column::VolumeName:
        return entry.label;
    case Column::FolderLocation:
        return entry.state == MountState::FolderMissing
                   ? appText(text::PathMissing) + QLatin1Char(' ') + entry.folder
                   : entry.folder;
    case Column::Mounted:
        switch (entry.state) {
        case MountState::Mounted:
            return appText(text::Yes);
        case MountState::NotMounted:
            return appText(text::No);
        case MountState::FolderMissing:
            return appText(text::MountError);
        }
        return {};
    case Column::AutoMount:
        return yesNo(entry.autoMount);
    case Column::RequirePassword:
        return yesNo(!entry.passwordRemembered);
    }
    return {};
}

QVariant DriveTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
        return {};
    }
    const DriveEntry& entry = m_rows[static_cast<std::size_t>(index.row())];
    const auto column = static_cast<Column>(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
        return cellText(entry, index.column());
    case Qt::DecorationRole:
        if (column == Column::Drive) {
            return cloudIcon(entry.cloudIcon);
        }
        if (column == Column::Mounted) {
            return mountStateIcon(entry.state);
        }
        return {};
    case MountStateRole:
        return static_cast<int>(entry.state);
    default:
        return {};
    }
}

QVariant DriveTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        return appText(kColumnHeaderIds[section]);
    }
    return {};
}

std::optional<DriveEntry> DriveTableModel::entry(int row) const
{
    if (row < 0 || row >= rowCount()) {
        return std::nullopt;
    }
    return m_rows[static_cast<std::size_t>(row)];
}

QStringList DriveTableModel::mountedLetters() const
{
    QStringList letters;
    for (const DriveEntry& entry : m_rows) {
        if (entry.state == MountState::Mounted) {
            letters << entry.letter;
        }
    }
    return letters;
}

} // namespace kestrava::gui
