#include "gui/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <unistd.h>

namespace kestrava::gui {
namespace {

constexpr int kConnectTimeoutMs = 1000;
const QByteArray kShowRequest = "show\n";
const QByteArray kRefreshRequest = "refresh\n";

} // namespace

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent), m_serverName(std::move(serverName))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultServerName()
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists()) {
        folder = QDir::tempPath();
    }
    return QDir(folder).filePath(QStringLiteral("kestrava-%1").arg(::getuid()));
}

bool SingleInstance::askRunningCopyToShow() const
{
    return send(kShowRequest);
}

bool SingleInstance::askRunningCopyToRefresh() const
{
    return send(kRefreshRequest);
}

bool SingleInstance::send(const QByteArray& request) const
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        return false;
    }
    socket.write(request);
    const bool sent = socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return sent;
}

bool SingleInstance::claim()
{
    if (askRunningCopyToShow()) {
        return false;
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName)) {
        // Another copy may have started listening since we tried; otherwise the socket is
        // left over from a copy that crashed.
        if (askRunningCopyToShow()) {
            return false;
        }
        QLocalServer::removeServer(m_serverName);
        m_server->listen(m_serverName);
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return true;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        const auto readRequest = [this, socket] {
            const QByteArray requests = socket->readAll();
            if (requests.contains(kShowRequest)) {
                emit showRequested();
            }
            if (requests.contains(kRefreshRequest)) {
                emit refreshRequested();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, readRequest);
        connect(socket, &QLocalSocket::disconnected, this, [socket, readRequest] {
            readRequest(); // a request that came with the hang-up
            socket->deleteLater();
        });
    }
}

} // namespace kestrava::gui
