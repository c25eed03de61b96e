#include "singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <memory>
#include <unistd.h>

namespace qb {

namespace {

// Long enough for a busy first instance to accept, short enough not to delay a first start.
constexpr int kConnectTimeoutMs = 500;
// How long a later start waits for the lock's holder to listen: the holder may have just
// started and still be opening its book.
constexpr int kStartingInstanceMs = 10000;
constexpr unsigned long kRetryPauseMs = 50;
const QByteArray kActivate = QByteArrayLiteral("activate\n");
// The file to open runs from this marker to the end of the request, so any file name,
// line breaks included, travels unchanged.
const QByteArray kOpenMarker = QByteArrayLiteral("open ");
// A request is one marker and a path; anything longer is not from a later start.
constexpr qsizetype kMaxRequestBytes = 64 * 1024;

// The desktop's permission for the window to come forward, a line of its own after the first;
// requests without one (from earlier versions) still work.
const QByteArray kTokenMarker = QByteArrayLiteral("token ");
constexpr qsizetype kMaxTokenBytes = 4096;

bool isToken(const QByteArray& token) {
    return !token.isEmpty() && token.size() <= kMaxTokenBytes &&
           std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 127; });
}

// What a start on a Wayland desktop (or with startup notification on X11) was handed by its
// launcher to bring a window forward.
QByteArray startActivationToken() {
    for (const char* variable : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        const QByteArray token = qgetenv(variable);
        if (isToken(token))
            return token;
    }
    return {};
}

QByteArray encodeRequest(const QString& fileName, const QByteArray& token) {
    QByteArray request = kActivate;
    if (!token.isEmpty())
        request += kTokenMarker + token + '\n';
    if (!fileName.isEmpty())
        request += kOpenMarker + QFile::encodeName(fileName);
    return request;
}

struct Request {
    QString fileName;
    QByteArray token;
};

Request decodeRequest(const QByteArray& request) {
    Request decoded;
    if (!request.startsWith(kActivate))
        return decoded;
    QByteArray rest = request.mid(kActivate.size());
    if (rest.startsWith(kTokenMarker) && rest.contains('\n')) {
        const qsizetype end = rest.indexOf('\n');
        const QByteArray token = rest.mid(kTokenMarker.size(), end - kTokenMarker.size());
        if (isToken(token))
            decoded.token = token;
        rest = rest.mid(end + 1);
    }
    if (rest.startsWith(kOpenMarker))
        decoded.fileName = QFile::decodeName(rest.mid(kOpenMarker.size()));
    return decoded;
}

QString lockFileName(const QString& name) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return QDir(folder.isEmpty() ? QDir::tempPath() : folder)
        .filePath(name + QStringLiteral(".lock"));
}

} // namespace

SingleInstance::SingleInstance(const QString& key, QObject* parent)
    : QObject(parent)
    , m_name(QStringLiteral("%1-%2").arg(key).arg(getuid()))
    , m_lock(std::make_unique<QLockFile>(lockFileName(m_name))) {
    // Only a lock whose process is gone is stale, however old it is.
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::notifyRunningInstance(const QString& fileName) {
    // The lock decides which of two starts, however close together, runs.
    if (m_lock->tryLock(0))
        return false;
    if (m_lock->error() != QLockFile::LockFailedError)
        return askToComeForward(
            fileName); // no lock can be made here: the old way, an answer decides
    const QDeadlineTimer deadline(kStartingInstanceMs);
    while (!askToComeForward(fileName)) {
        if (m_lock->tryLock(0))
            return false; // the holder ended meanwhile
        if (deadline.hasExpired())
            return true; // a live holder that never listens: never start a second one
        QThread::msleep(kRetryPauseMs);
    }
    return true;
}

bool SingleInstance::askToComeForward(const QString& fileName) const {
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(encodeRequest(fileName, startActivationToken()));
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::listen() {
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A name left behind by a crashed instance would block listening. Only the lock's holder
    // removes it: any server under the name is then a dead one.
    if (m_lock->isLocked())
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
    const Request decoded = decodeRequest(request);
    Q_EMIT activated(QString::fromLatin1(decoded.token));
    if (!decoded.fileName.isEmpty())
        Q_EMIT fileOpenRequested(decoded.fileName);
}

} // namespace qb
