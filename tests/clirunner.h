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

// In the tables, "@a" to "@d" stand for the virtual ports and "@A" to "@D"
// for the MACs of their modules.
inline QString filled(QString text)
{
    for (int i = 0; i < 4; ++i)
        text.replace(QStringLiteral("@") + QChar('A' + i), macOf(cliPort(i)))
            .replace(QStringLiteral("@") + QChar('a' + i), cliPort(i));
    return text;
}

// A row of an end-to-end table: sim and cli are split at spaces; out is
// stdout exactly or, split at '|', texts it must contain; err holds texts
// stderr must contain, split at '|'; requests, those the modules receive in
// any order: "@a" a read, "@a=0df638.00.04..." a write of those values.
inline void cliRow(const char *name, const QString &sim, const QString &cli, int exitCode,
                   const QString &out, const QString &err, const QString &requests)
{
    QStringList lines;
    for (const QString &request : filled(requests).split(' ', Qt::SkipEmptyParts))
        lines << request.section('=', 0, 0) +
                     (request.contains('=')
                          ? " ff4ccf52a157f1" + request.section('=', 1).remove('.')
                          : " ff4ccf52a152f0");
    lines.sort();
    QTest::newRow(name) << filled(sim).split(' ') << filled(cli).split(' ') << exitCode
                        << filled(out) << filled(err).split('|', Qt::SkipEmptyParts) << lines;
}

inline void addCliColumns()
{
    QTest::addColumn<QStringList>("sim");
    QTest::addColumn<QStringList>("cli");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QStringList>("err");
    QTest::addColumn<QStringList>("requests");
}

inline void checkCliRow()
{
    QFETCH(QStringList, sim);
    QFETCH(QStringList, cli);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QStringList, err);
    QFETCH(QStringList, requests);
    QElapsedTimer clock;
    clock.start();
    CliRun run = runCli(sim, cli);
    QVERIFY2(run.exitCode == exitCode, run.describe());
    // A silent module: two sends 5 s apart, and 5 s for the answer to the second.
    QVERIFY(exitCode != 4 || clock.elapsed() >= 9500);
    if (!out.contains('|'))
        QCOMPARE(QString::fromUtf8(run.out), out);
    for (const QString &text : out.split('|', Qt::SkipEmptyParts))
        QVERIFY2(run.out.contains(text.toUtf8()), run.describe());
    for (const QString &text : err)
        QVERIFY2(run.err.contains(text.toUtf8()), run.describe());
    QVERIFY2(!run.err.contains("QSerialPort"), run.err); // Qt's warnings are not for the user
    run.requests.sort();
    QCOMPARE(run.requests, requests);
}

#endif // CLIRUNNER_H
