// One copy of the desktop app per user: the first copy listens on a local socket named from
// the user id; a later copy connects, asks it to show its window and ends.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace kestrava::gui {

class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QString serverName = defaultServerName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // "kestrava-<uid>" in $XDG_RUNTIME_DIR (the temporary folder without it).
    static QString defaultServerName();

    // True when this is the first copy (it now listens). False when another copy runs: that
    // copy has been asked to show its window.
    bool claim();

    // Asks a running copy to show its window; false when none answered.
    bool askRunningCopyToShow() const;
    // Asks a running copy to rebuild its drive list (after FUSE was removed); false when none
    // answered.
    bool askRunningCopyToRefresh() const;

signals:
    // A later copy asked this one to show its window.
    void showRequested();
    // Another copy asked this one to rebuild its drive list.
    void refreshRequested();

private:
    void acceptConnections();
    bool send(const QByteArray& request) const;

    QString m_serverName;
    QLocalServer* m_server = nullptr;
};

} // namespace kestrava::gui
