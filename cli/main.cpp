#include "cli/clitool.h"
#ifndef _WIN32
#include "cli/ptysimulator.h"
#include "simulator/simulatedmodule.h"
#endif

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
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
