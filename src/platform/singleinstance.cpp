#include "singleinstance.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <memory>
#include <unistd.h>

namespace qb {

namespace {

// Long enough for a busy first instance to accept, short enough not to delay a first start.
constexpr int kConnectTimeoutMs = 500;
const QByteArray kActivate = QByteArrayLiteral("activate\n");
// The file to open runs from this marker to the end of the request, so any file name,
// line breaks included, travels unchanged.
const QByteArray kOpenMarker = QByteArrayLiteral("open ");
// A request is one marker and a path; anything longer is not from a later start.
constexpr qsizetype kMaxRequestBytes = 64 * 1024;

QByteArray encodeRequest(const QString& fileName) {
    return fileName.isEmpty() ? kActivate : kActivate + kOpenMarker + QFile::encodeName(fileName);
}

// The file a request names, or an empty name when it only asks to come forward.
QString decodeRequest(const QByteArray& request) {
    const QByteArray open = kActivate + kOpenMarker;
    return request.startsWith(open) ? QFile::decodeName(request.mid(open.size())) : QString();
}

} // namespace

SingleInstance::SingleInstance(const QString& key, QObject* parent)
    : QObject(parent)
    , m_name(QStringLiteral("%1-%2").arg(key).arg(getuid())) {}

bool SingleInstance::notifyRunningInstance(const QString& fileName) {
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(encodeRequest(fileName));
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
        while (QLocalSocket* socket = m_server->nextPendingConnection())
            readRequest(socket);
    });
    return m_server->listen(m_name);
}

// A later start writes its request and hangs up; the request is whole once it has.
void SingleInstance::readRequest(QLocalSocket* socket) {
    const auto request = std::make_shared<QByteArray>();
    connect(socket, &QLocalSocket::readyRead, socket, [socket, request] {
        request->append(socket->readAll());
        if (request->size() > kMaxRequestBytes)
            socket->abort();
    });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket, request] {
        request->append(socket->readAll());
        if (request->size() <= kMaxRequestBytes)
            handleRequest(*request);
        socket->deleteLater();
    });
}

void SingleInstance::handleRequest(const QByteArray& request) {
    Q_EMIT activated();
    const QString fileName = decodeRequest(request);
    if (!fileName.isEmpty())
        Q_EMIT fileOpenRequested(fileName);
}

} // namespace qb
