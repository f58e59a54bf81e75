// What the main window asks of the drives: the one interface between the window and the core's
// drive flows. Rows are indexes into the drive list. The long commands are called on a worker
// thread and may ask questions through the Prompter; the others are called on the GUI thread.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace kestrava::gui {

// What the drive check of a row found: one line per finding; none when all is well.
struct DriveCheckOutcome
{
    QString folder;
    QStringList findings;
};

class DriveActions
{
public:
    virtual ~DriveActions() = default;

    // Worker thread.
    virtual void fillAtStart() = 0;           // every record listed, auto-mount drives mounted
    virtual void mountOrUnmount(int row) = 0; // the mount button; -1: nothing selected
    virtual void refresh() = 0;               // rebuild the rows without mounting or asking
    virtual void remove(int row) = 0;         // delete, after its questions; -1: nothing selected
    virtual void unmountAll() = 0;            // at exit
    // The drive check, unlocking with the remembered password or the prompt; nothing when the
    // drive was not unlocked (its messages shown) or nothing is selected (-1).
    virtual std::optional<DriveCheckOutcome> checkDrive(int row) = 0;

    // GUI thread.
    // Where the drive of row is mounted (the file manager opens it).
    virtual QString mountPoint(int row) = 0;
    // The backing folder when it exists; otherwise the message has been shown.
    virtual std::optional<QString> folderLocation(int row) = 0;
    // The proposed file name of a token backup; nothing (message shown) when the folder holds
    // no token.
    virtual std::optional<QString> tokenBackupName(int row) = 0;
    // Copies the token of row to target and reports the outcome.
    virtual void backupToken(int row, const QString& target) = 0;
};

} // namespace kestrava::gui
