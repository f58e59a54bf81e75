// Runs the program update on a worker thread: the automatic check after start and the check the
// user asks for. One run at a time; a run asked for while one goes on is dropped.
#pragma once

#include "core/update/ProgramUpdate.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>

namespace kestrava::gui {

class QtDownloadWindow;
class QtPrompter;

class UpdateRunner : public QObject
{
    Q_OBJECT

public:
    using SiteSource = std::function<update::UpdateSite()>;

    // settingsPath gives "AutoUpdate" for the automatic check; site defaults to the build's.
    UpdateRunner(QtPrompter& prompter, std::filesystem::path settingsPath, SiteSource site = {},
                 QObject* parent = nullptr);
    ~UpdateRunner() override;

    // The window the progress window belongs to.
    void setWindow(QWidget* window) { m_window = window; }
    void setHttpOptions(const update::HttpOptions& options) { m_http = options; }

    bool running() const { return m_running; }

public slots:
    // False when a run is going on already.
    bool start(bool manual);
    // Ends a running transfer at once (at exit).
    void cancel() { m_cancel = true; }

signals:
    // A verified installer was started: the program ends now.
    void exitRequested();
    void finished(kestrava::update::UpdateEnd end);

private:
    QtPrompter& m_prompter;
    std::filesystem::path m_settingsPath;
    SiteSource m_site;
    QPointer<QWidget> m_window;
    update::HttpOptions m_http;
    std::atomic<bool> m_cancel = false;
    std::atomic<bool> m_running = false;
    std::unique_ptr<QtDownloadWindow> m_downloadWindow;
};

} // namespace kestrava::gui
