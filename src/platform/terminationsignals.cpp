#include "terminationsignals.h"

#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace qb {

namespace {

constexpr std::array kSignals = {SIGTERM, SIGHUP};

// A signal handler may do next to nothing: it writes one byte to a socket that the event loop
// watches (the self-pipe trick).
int g_sockets[2] = {-1, -1};

void writeWakeUp(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_sockets[0], &byte, 1);
}

void setHandler(int number, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(number, &action, nullptr);
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_sockets) != 0)
        return; // without the socket the signals keep their default: the program ends
    m_notifier = new QSocketNotifier(g_sockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPending);
    for (int number : kSignals)
        setHandler(number, writeWakeUp);
}

TerminationSignals::~TerminationSignals() {
    if (!m_notifier)
        return;
    for (int number : kSignals)
        setHandler(number, SIG_DFL);
    delete m_notifier;
    ::close(g_sockets[0]);
    ::close(g_sockets[1]);
    g_sockets[0] = g_sockets[1] = -1;
}

void TerminationSignals::readPending() {
    char byte = 0;
    if (::read(g_sockets[1], &byte, 1) == 1)
        Q_EMIT received();
}

} // namespace qb
