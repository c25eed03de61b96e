#pragma once

#include <QObject>

class QSocketNotifier;

namespace qb {

// SIGTERM and SIGHUP (logout, shutdown, `kill`) as a Qt signal on the GUI thread, so the
// program ends in order, with its preferences written, instead of being cut off. One object at
// a time; while it lives it owns both signals' handlers.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void received();

private:
    void readPending();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace qb
