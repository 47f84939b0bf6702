#include "stopsignals.h"

#include <QtCore/QSocketNotifier>

#include <csignal>
#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// [0] is written by the handlers, [1] read by the notifier.
int g_pipe[2] = {-1, -1};
const int stopSignalNumbers[] = {SIGTERM, SIGINT};

} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{
    if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    // A full buffer must never block a handler; a lost byte still leaves the others queued.
    ::fcntl(g_pipe[0], F_SETFL, ::fcntl(g_pipe[0], F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::readSignals);

    struct sigaction action = {};
    action.sa_handler = &StopSignals::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : stopSignalNumbers)
        ::sigaction(number, &action, nullptr);
}

StopSignals::~StopSignals()
{
    if (!m_notifier)
        return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int number : stopSignalNumbers)
        ::sigaction(number, &action, nullptr);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void StopSignals::handle(int signalNumber)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    if (::write(g_pipe[0], &byte, 1) < 0) {
        // Nothing that is safe in a handler can report it; the notifier has bytes queued anyway.
    }
    errno = savedErrno;
}

void StopSignals::readSignals()
{
    char bytes[16];
    const ssize_t got = ::read(g_pipe[1], bytes, sizeof bytes);
    for (ssize_t i = 0; i < got; ++i) {
        ++m_count;
        emit stopRequested(bytes[i]);
    }
}
