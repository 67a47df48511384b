#include "cli/ptysimulator.h"

#include "simulator/simulatedmodule.h"

#include <QEventLoop>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int PtySimulator::m_wakeFd[2] = {-1, -1};

PtySimulator::PtySimulator(QObject *parent) : QObject(parent) {}

PtySimulator::~PtySimulator()
{
    for (int &fd : m_wakeFd) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void PtySimulator::onSignal(int)
{
    // Only async-signal-safe calls here: wake the event loop through the pipe.
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakeFd[1], &byte, 1);
    errno = saved;
}

int PtySimulator::serve(const QString &behaviourName, int delayMs, QTextStream &out,
                        QTextStream &err)
{
    SimulatedModule::Behaviour behaviour;
    if (!SimulatedModule::parseBehaviour(behaviourName, &behaviour)) {
        err << "radioconf-cli: simulate: unknown behaviour " << behaviourName << '\n';
        err.flush();
        return 2;
    }
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        err << "radioconf-cli: simulate: cannot open a pseudo-terminal: " << strerror(errno)
            << '\n';
        err.flush();
        if (master >= 0)
            ::close(master);
        return 1;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    if (::pipe2(m_wakeFd, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(master);
        return 1;
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    SimulatedModule module(master, behaviour, true);
    module.setTrickleDelay(delayMs);
    QEventLoop loop;
    QSocketNotifier wake(m_wakeFd[0], QSocketNotifier::Read);
    connect(&wake, &QSocketNotifier::activated, &loop, &QEventLoop::quit);

    out << name << '\n';
    out.flush();
    err << "radioconf-cli: simulate: module (" << behaviourName << ") on " << name
        << "; stop with Ctrl+C\n";
    err.flush();
    loop.exec();

    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    err << "radioconf-cli: simulate: stopped after " << module.requests().size() << " request(s)\n";
    err.flush();
    return 0;
}
