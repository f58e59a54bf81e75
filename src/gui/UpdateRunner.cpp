#include "gui/UpdateRunner.h"

#include "core/settings/SettingsFile.h"
#include "core/settings/SettingsProgramValues.h"
#include "gui/DownloadProgressDialog.h"
#include "gui/QtPrompter.h"

#include <QtConcurrent/QtConcurrentRun>

namespace kestrava::gui {

UpdateRunner::UpdateRunner(QtPrompter& prompter, std::filesystem::path settingsPath, SiteSource site,
                           QObject* parent)
    : QObject(parent), m_prompter(prompter), m_settingsPath(std::move(settingsPath)),
      m_site(site ? std::move(site) : SiteSource(update::builtInUpdateSite))
{
}

UpdateRunner::~UpdateRunner()
{
    m_cancel = true;
}

bool UpdateRunner::start(bool manual)
{
    if (m_running.exchange(true)) {
        return false;
    }
    m_cancel = false;
    // Made here, on the GUI thread, so that its calls are carried out there; deleted there too.
    m_downloadWindow = std::make_unique<QtDownloadWindow>(m_cancel, m_window);
    update::HttpOptions http = m_http;
    http.cancel = &m_cancel;
    // The global pool: the orderly exit waits for it, serving the run's dialogs meanwhile.
    (void)QtConcurrent::run([this, manual, window = m_downloadWindow.get(), http, site = m_site()] {
        update::HttpClient client(http);
        update::ProgramUpdate flow(m_prompter, client, site);
        flow.setDownloadWindow(window);
        flow.setExitProgram([this] { QMetaObject::invokeMethod(this, &UpdateRunner::exitRequested); });
        settings::SettingsFile file(m_settingsPath);
        settings::SettingsProgramValues values(file);
        update::UpdateRunOptions options;
        options.manual = manual;
        const update::UpdateEnd end = flow.run(options, values).end;
        QMetaObject::invokeMethod(this, [this, end] {
            m_downloadWindow.reset();
            m_running = false;
            emit finished(end);
        });
    });
    return true;
}

} // namespace kestrava::gui
