#ifndef CLIRUNNER_H
#define CLIRUNNER_H

#include "simulator/simulatedmodule.h"
#include "simulator/virtualadapter.h"

#include <QtTest>

// What radioconf-cli did: exit code (-1 for a crash), output, and the
// "port hex" lines the simulated modules received.
struct CliRun
{
    int exitCode = -1;
    QByteArray out, err;
    QStringList requests;
    QByteArray describe() const
    {
        return "exit " + QByteArray::number(exitCode) + "\n" + out + err;
    }
};

const QString ReadRequest = QStringLiteral("ff4ccf52a152f0");
const QString WriteHeader = QStringLiteral("ff4ccf52a157f1");

inline QString cliPort(int index = 0)
{
    return VirtualAdapter::processPortName(index);
}

// Runs the tool as a user would, inside radioconf-sim with the options sim
// (adapters, behaviour), so that discovery finds the virtual adapters.
inline CliRun runCli(const QStringList &sim, const QStringList &cli)
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("requests.log"));
    QProcess process;
    process.start(RADIOCONF_SIM,
                  QStringList{"--log", log} + sim + QStringList{"--", RADIOCONF_CLI} + cli);
    if (!process.waitForFinished(60000))
        process.kill();
    process.waitForFinished();
    CliRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    QFile file(log);
    if (file.open(QIODevice::ReadOnly))
        run.requests = QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
    return run;
}

// The MAC radioconf-sim gives the module on port, as the tool prints it.
inline QString macOf(const QString &port)
{
    return QString::fromLatin1(SimulatedModule::macForPort(port).toHex().toUpper());
}

// What read --json prints for the simulated module, with changes.
inline QJsonObject moduleJson(const QString &port, const QJsonObject &changes = {})
{
    QJsonObject object{{"port", port},         {"frequency", 915},  {"group", 0},
                       {"rate", "4.56K"},      {"power", "7(Max)"}, {"baud", "9600"},
                       {"parity", "None"},     {"wakeup", "1s"},    {"model", "SIM1"},
                       {"version", "1.0.000"}, {"mac", macOf(port)}};
    for (auto it = changes.begin(); it != changes.end(); ++it)
        object.insert(it.key(), it.value());
    return object;
}

#endif // CLIRUNNER_H
