#include "singleinstance.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace qb {

namespace {

// Long enough for a busy first instance to accept, short enough not to delay a first start.
constexpr int kConnectTimeoutMs = 500;
const QByteArray kActivate = QByteArrayLiteral("activate\n");

} // namespace

SingleInstance::SingleInstance(const QString& key, QObject* parent)
    : QObject(parent)
    , m_name(QStringLiteral("%1-%2").arg(key).arg(getuid())) {}

bool SingleInstance::notifyRunningInstance() {
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(kActivate);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::listen() {
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A name left behind by a crashed instance would block listening; nobody answered on it.
    QLocalServer::removeServer(m_name);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            Q_EMIT activated();
        }
    });
    return m_server->listen(m_name);
}

} // namespace qb
