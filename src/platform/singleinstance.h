#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

namespace qb {

// One running program per user session. A per-user lock file decides which start runs; that
// one listens under a per-user name, and a later start asks it to come forward (and to open
// the file it was given, handing on the desktop's permission to do so) and ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when another instance holds the lock: it was asked to come forward and, when
    // fileName is not empty, to open that file. False when this start holds the lock now and
    // should run.
    bool notifyRunningInstance(const QString& fileName = {});
    // Starts listening; activated() is emitted for each later start, then fileOpenRequested()
    // when that start named a file.
    bool listen();

Q_SIGNALS:
    // activationToken: what the later start's launcher gave it to bring a window forward
    // (XDG_ACTIVATION_TOKEN, else DESKTOP_STARTUP_ID), or empty.
    void activated(const QString& activationToken);
    void fileOpenRequested(const QString& fileName);

private:
    bool askToComeForward(const QString& fileName) const;
    void readRequest(QLocalSocket* socket);
    void handleRequest(const QByteArray& request);

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace qb
