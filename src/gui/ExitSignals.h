// Termination signals (the session logging out, kill, Ctrl+C in a terminal) end the app the
// orderly way, so the drives it mounted are unmounted rather than left to their serving
// processes. The handler only writes the signal's number to a socket; the GUI thread reads it.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace kestrava::gui {

class ExitSignals : public QObject
{
    Q_OBJECT

public:
    // Handles SIGTERM, SIGINT and SIGHUP from now on; one object per process.
    explicit ExitSignals(QObject* parent = nullptr);
    ~ExitSignals() override;

signals:
    void exitRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace kestrava::gui
