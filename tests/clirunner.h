#ifndef CLIRUNNER_H
#define CLIRUNNER_H

#include "simulator/simulatedmodule.h"
#include "simulator/virtualadapter.h"

#include "jsonlines.h"

#include <QtTest>

// The MAC radioconf-sim gives the module on port, as the tool prints it.
inline QString macOf(const QString &port)
{
    return QString::fromLatin1(SimulatedModule::macForPort(port).toHex().toUpper());
}

// In the tables, "@a" to "@d" stand for the virtual ports and "@A" to "@D"
// for the MACs of their modules.
inline QString filled(QString text)
{
    for (int i = 0; i < 4; ++i)
        text.replace(QStringLiteral("@") + QChar('A' + i),
                     macOf(VirtualAdapter::processPortName(i)))
            .replace(QStringLiteral("@") + QChar('a' + i), VirtualAdapter::processPortName(i));
    return text;
}

// A row of an end-to-end table. args: radioconf-sim's options (adapters,
// behaviour), "--" and the tool's, split at spaces; ">/dev/full" among them
// sends standard output there. out: stdout exactly or,
// split at '|', texts it must contain. err: texts stderr must contain, split
// at '|'. requests: those the modules receive, in any order: "@a" a read,
// "@a=0df638.00.04..." a write of those values.
inline void cliRow(const char *name, const QString &args, int exitCode, const QString &out,
                   const QString &err = {}, const QString &requests = {})
{
    QStringList lines;
    for (const QString &request : filled(requests).split(' ', Qt::SkipEmptyParts))
        lines << request.section('=', 0, 0) +
                     (request.contains('=')
                          ? " ff4ccf52a157f1" + request.section('=', 1).remove('.')
                          : " ff4ccf52a152f0");
    lines.sort();
    QTest::newRow(name) << filled(args).split(' ') << exitCode << filled(out)
                        << filled(err).split('|', Qt::SkipEmptyParts) << lines;
}

inline void addCliColumns()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QStringList>("err");
    QTest::addColumn<QStringList>("requests");
}

// Runs the tool of a row as a user would, inside radioconf-sim, so that
// discovery finds the virtual adapters.
inline void checkCliRow()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QStringList, err);
    QFETCH(QStringList, requests);
    QTemporaryDir dir;
    const QString log = dir.filePath("requests.log");
    args.insert(args.indexOf("--") + 1, RADIOCONF_CLI);
    QProcess process;
    if (args.removeAll(">/dev/full")) // standard output on a full disk
        process.setStandardOutputFile("/dev/full");
    QElapsedTimer clock;
    clock.start();
    process.start(RADIOCONF_SIM, QStringList{"--log", log} + args);
    QVERIFY(process.waitForFinished(60000));
    const QByteArray stdOut = process.readAllStandardOutput(),
                     stdErr = process.readAllStandardError(),
                     seen =
                         "exit " + QByteArray::number(process.exitCode()) + "\n" + stdOut + stdErr;
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == exitCode, seen);
    // A silent module: two sends 5 s apart, and 5 s for the answer to the second.
    QVERIFY(exitCode != 4 || clock.elapsed() >= 9500);
    if (!out.contains('|'))
        QCOMPARE(QString::fromUtf8(stdOut), out);
    for (const QString &text : out.split('|', Qt::SkipEmptyParts))
        QVERIFY2(stdOut.contains(text.toUtf8()), seen);
    for (const QString &text : err)
        QVERIFY2(stdErr.contains(text.toUtf8()), seen);
    QVERIFY2(!stdErr.contains("QSerialPort"), stdErr); // Qt's warnings are not for the user
    checkJsonLines(stdOut);
    QFile file(log);
    QStringList received = file.open(QIODevice::ReadOnly)
                               ? QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts)
                               : QStringList();
    received.sort();
    QCOMPARE(received, requests);
}

#endif // CLIRUNNER_H
