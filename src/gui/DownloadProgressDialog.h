// The small window that shows an installer download: a bar from 0 to 100 and the percentage
// beside it (or the bytes received when the server sent no length). Closing it cancels the
// download.
#pragma once

#include "core/update/InstallerDownload.h"
#include "core/update/ProgramUpdate.h"

#include <QDialog>
#include <QPointer>
#include <atomic>

class QLabel;
class QProgressBar;

namespace kestrava::gui {

class CDownloadProgressDlg : public QDialog
{
    Q_OBJECT

public:
    // cancel is raised when the window is closed before the download ends.
    explicit CDownloadProgressDlg(std::atomic<bool>& cancel, QWidget* parent = nullptr);

    void showProgress(const update::DownloadProgress& progress);
    // Closes the window without cancelling: the download has ended.
    void finish();

    int percent() const;
    QString progressText() const;

    void reject() override;

private:
    std::atomic<bool>& m_cancel;
    QProgressBar* m_bar = nullptr;
    QLabel* m_text = nullptr;
    bool m_finished = false;
};

// The core's download window, carried out on the GUI thread whichever thread calls it. The
// dialog is modal to parent.
class QtDownloadWindow : public QObject, public update::DownloadWindow
{
    Q_OBJECT

public:
    QtDownloadWindow(std::atomic<bool>& cancel, QWidget* parent);
    ~QtDownloadWindow() override;

    void open(const std::string& version) override;
    void progress(const update::DownloadProgress& progress) override;
    void close() override;

    CDownloadProgressDlg* dialog() const { return m_dialog; }

private:
    std::atomic<bool>& m_cancel;
    QPointer<QWidget> m_parent;
    QPointer<CDownloadProgressDlg> m_dialog;
};

} // namespace kestrava::gui
