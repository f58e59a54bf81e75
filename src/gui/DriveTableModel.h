// The drive list for the view: the one place where the GUI reads the core's drive list. Rows
// are copied from the core model on the GUI thread whenever the flows (on worker threads)
// change it.
#pragma once

#include "core/drives/DriveListModel.h"

#include <QAbstractTableModel>
#include <atomic>
#include <optional>
#include <vector>

namespace kestrava::gui {

using MountState = drives::MountState;

// A row as the window works with it.
struct DriveEntry
{
    QString letter; // "K:"
    QString label;
    QString folder; // without any prefix
    MountState state = MountState::NotMounted;
    bool autoMount = false;
    bool passwordRemembered = false;
    int cloudIcon = 0;
};

class DriveTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Role
    {
        MountStateRole = Qt::UserRole + 1,
    };

    // Listens to source for as long as this model lives.
    explicit DriveTableModel(drives::DriveListModel& source, QObject* parent = nullptr);
    ~DriveTableModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    std::optional<DriveEntry> entry(int row) const;
    // Letters of the mounted rows, in list order.
    QStringList mountedLetters() const;

    // Copies the source's rows now (also done by itself after every change of the source).
    void synchronize();

private:
    static DriveEntry toEntry(const drives::DriveRow& row);
    QString cellText(const DriveEntry& entry, int column) const;

    drives::DriveListModel& m_source;
    std::vector<DriveEntry> m_rows;
    std::atomic<bool> m_syncQueued = false;
};

} // namespace kestrava::gui
