#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;

namespace qb {

// One running program per user session. A per-user lock file decides which start runs; that
// one listens under a per-user name, and a later start asks it to come forward and ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when another instance holds the lock (it was asked to come forward); false when
    // this start holds it now and should run.
    bool notifyRunningInstance();
    // Starts listening; activated() is emitted for each later start.
    bool listen();

Q_SIGNALS:
    void activated();

private:
    bool askToComeForward() const;

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace qb
