#include "cli/clitool.h"
#ifndef _WIN32
#include "cli/ptysimulator.h"
#include "simulator/simulatedmodule.h"
#endif

#include <QCoreApplication>
#include <QTextStream>

#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char *argv[])
{
#ifdef __GLIBC__
    // Each port's exchange runs on two short-lived threads that allocate
    // little. An arena of their own would cost each thread a fresh mapping
    // whose pages fault in while the exchanges start.
    mallopt(M_ARENA_MAX, 2);
#endif
    // Nothing here needs GLib's main loop, and Qt's own dispatcher is
    // cheaper to set up in each of those threads.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("radioconf-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RADIOCONF_VERSION));
    CliTool::installMessageFilter();

    QTextStream out(stdout);
    QTextStream err(stderr);
    CliTool tool(out, err);
#ifndef _WIN32
    tool.setSimulator(SimulatedModule::behaviourNames(),
                      [](const QString &behaviour, int delayMs, QTextStream &o, QTextStream &e) {
                          PtySimulator simulator;
                          return simulator.serve(behaviour, delayMs, o, e);
                      });
#endif
    return tool.run(QCoreApplication::arguments());
}
