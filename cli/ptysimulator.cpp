#include "cli/ptysimulator.h"

#include "cli/signalnotifier.h"
#include "simulator/simulatedmodule.h"

#include <QEventLoop>

#include <cerrno>
#include <cstring>

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
    QByteArray name;
    const int master = SimulatedModule::openTerminal(&name);
    if (master < 0) {
        err << "radioconf-cli: simulate: cannot open a pseudo-terminal: " << strerror(errno)
            << '\n';
        err.flush();
        return 1;
    }

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
