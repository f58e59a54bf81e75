#include "gui/DownloadProgressDialog.h"

#include "core/app/StringTable.h"
#include "gui/AppText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QThread>

namespace kestrava::gui {
namespace {

// Runs work on object's thread and waits for it (directly when already there).
template <typename Work> void onThreadOf(QObject* object, Work work)
{
    if (QThread::currentThread() == object->thread()) {
        work();
    } else {
        QMetaObject::invokeMethod(object, work, Qt::BlockingQueuedConnection);
    }
}

} // namespace

CDownloadProgressDlg::CDownloadProgressDlg(std::atomic<bool>& cancel, QWidget* parent)
    : QDialog(parent), m_cancel(cancel)
{
    setObjectName(QStringLiteral("CDownloadProgressDlg"));
    setWindowTitle(appText(update::kCaptionDownloading));
    setModal(true);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    m_bar->setMinimumWidth(280);
    m_text = new QLabel(QStringLiteral("0%"), this);
    m_text->setMinimumWidth(m_text->fontMetrics().horizontalAdvance(QStringLiteral("100000000 bytes")));
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_bar, 1);
    layout->addWidget(m_text);
}

void CDownloadProgressDlg::showProgress(const update::DownloadProgress& progress)
{
    if (const auto percent = progress.percent()) {
        m_bar->setRange(0, 100);
        m_bar->setValue(*percent);
        m_text->setText(QStringLiteral("%1%").arg(*percent));
        return;
    }
    // Without a length there is no share to show: a busy bar and the bytes so far.
    m_bar->setRange(0, 0);
    m_text->setText(QString::fromStdString(
        formatAppString(loadAppString(update::kTextBytesReceived), {std::to_string(progress.written)})));
}

void CDownloadProgressDlg::finish()
{
    m_finished = true;
    QDialog::accept();
}

int CDownloadProgressDlg::percent() const
{
    return m_bar->maximum() == 0 ? -1 : m_bar->value();
}

QString CDownloadProgressDlg::progressText() const
{
    return m_text->text();
}

void CDownloadProgressDlg::reject()
{
    if (!m_finished) {
        m_cancel = true;
    }
    QDialog::reject();
}

QtDownloadWindow::QtDownloadWindow(std::atomic<bool>& cancel, QWidget* parent)
    : m_cancel(cancel), m_parent(parent)
{
}

QtDownloadWindow::~QtDownloadWindow()
{
    delete m_dialog;
}

void QtDownloadWindow::open(const std::string& /*version*/)
{
    onThreadOf(this, [this] {
        m_dialog = new CDownloadProgressDlg(m_cancel, m_parent);
        m_dialog->show();
    });
}

void QtDownloadWindow::progress(const update::DownloadProgress& progress)
{
    // Not waited for: the download goes on while the window catches up.
    QMetaObject::invokeMethod(this, [this, progress] {
        if (m_dialog) {
            m_dialog->showProgress(progress);
        }
    });
}

void QtDownloadWindow::close()
{
    onThreadOf(this, [this] {
        if (m_dialog) {
            m_dialog->finish();
            m_dialog->deleteLater();
        }
    });
}

} // namespace kestrava::gui
