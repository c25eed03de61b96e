#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace qb {

// One running program per user session. The first start listens under a per-user name; a
// later start finds it, asks it to come forward (and to open the file it was given) and ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& key, QObject* parent = nullptr);

    // True when another instance answered and was asked to come forward and, when fileName
    // is not empty, to open that file.
    bool notifyRunningInstance(const QString& fileName = {});
    // Starts listening; activated() is emitted for each later start, then fileOpenRequested()
    // when that start named a file.
    bool listen();

Q_SIGNALS:
    void activated();
    void fileOpenRequested(const QString& fileName);

private:
    void readRequest(QLocalSocket* socket);
    void handleRequest(const QByteArray& request);

    QString m_name;
    QLocalServer* m_server = nullptr;
};

} // namespace qb
