#include "gui/ExitSignals.h"

#include "core/app/ActivityLog.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrava::gui {
namespace {

constexpr std::array<int, 3> kExitSignals = {SIGTERM, SIGINT, SIGHUP};
int g_fds[2] = {-1, -1}; // [0] written by the handler, [1] read by the GUI thread

extern "C" void onExitSignal(int signalNumber)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(g_fds[0], &byte, 1);
    errno = saved;
}

} // namespace

ExitSignals::ExitSignals(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_fds) != 0) {
        writeLog("!ExitSignals: socketpair - %s", std::strerror(errno));
        return;
    }
    m_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ExitSignals::readSignal);
    struct sigaction action
    {
    };
    action.sa_handler = onExitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : kExitSignals) {
        ::sigaction(signalNumber, &action, nullptr);
    }
}

ExitSignals::~ExitSignals()
{
    if (m_notifier == nullptr) {
        return;
    }
    for (const int signalNumber : kExitSignals) {
        std::signal(signalNumber, SIG_DFL);
    }
    ::close(g_fds[0]);
    ::close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
}

void ExitSignals::readSignal()
{
    unsigned char byte = 0;
    while (::read(g_fds[1], &byte, 1) == 1) {
        writeLog("Exit signal: %d", static_cast<int>(byte));
        emit exitRequested(byte);
    }
}

} // namespace kestrava::gui
