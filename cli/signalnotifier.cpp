#include "cli/signalnotifier.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

int SignalNotifier::m_wakeFd[2] = {-1, -1};

SignalNotifier::SignalNotifier(QObject *parent) : QObject(parent)
{
#ifdef Q_OS_UNIX
    if (m_wakeFd[0] >= 0 || ::pipe2(m_wakeFd, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(m_wakeFd[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalNotifier::onWake);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Reset on delivery: a second signal is not caught.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
#endif
}

SignalNotifier::~SignalNotifier()
{
#ifdef Q_OS_UNIX
    if (!m_notifier)
        return;
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    delete m_notifier;
    for (int &fd : m_wakeFd) {
        ::close(fd);
        fd = -1;
    }
#endif
}

void SignalNotifier::onWake()
{
#ifdef Q_OS_UNIX
    char bytes[16];
    while (::read(m_wakeFd[0], bytes, sizeof bytes) > 0) {
    }
    // Either signal has ended the catching of both.
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
#endif
    emit interrupted();
}

void SignalNotifier::onSignal(int)
{
#ifdef Q_OS_UNIX
    // Only async-signal-safe calls here: wake the event loop through the pipe.
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakeFd[1], &byte, 1);
    errno = saved;
#endif
}
