#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace qb {

// One running program per user session. The first start listens under a per-user name; a
// later start finds it, asks it to come forward and ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& key, QObject* parent = nullptr);

    // True when another instance answered and was asked to come forward.
    bool notifyRunningInstance();
    // Starts listening; activated() is emitted for each later start.
    bool listen();

Q_SIGNALS:
    void activated();

private:
    QString m_name;
    QLocalServer* m_server = nullptr;
};

} // namespace qb
