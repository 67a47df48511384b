#include "cli/ptysimulator.h"

#include "cli/signalnotifier.h"
#include "simulator/simulatedmodule.h"

#include <QEventLoop>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

PtySimulator::PtySimulator(QObject *parent) : QObject(parent) {}

PtySimulator::~PtySimulator() = default;

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

    SimulatedModule module(master, behaviour, true);
    module.setTrickleDelay(delayMs);
    QEventLoop loop;
    SignalNotifier interrupts;
    connect(&interrupts, &SignalNotifier::interrupted, &loop, &QEventLoop::quit);

    out << name << '\n';
    out.flush();
    err << "radioconf-cli: simulate: module (" << behaviourName << ") on " << name
        << "; stop with Ctrl+C\n";
    err.flush();
    loop.exec();

    err << "radioconf-cli: simulate: stopped after " << module.requests().size() << " request(s)\n";
    err.flush();
    return 0;
}
