#ifndef CLIRUNNER_H
#define CLIRUNNER_H

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <unistd.h>

// Runs radioconf-cli as a user would, inside radioconf-sim: the virtual
// adapters are found by discovery and opened like real ones.
struct CliRun
{
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QByteArray out;
    QByteArray err;
    QStringList requests; // "port hex" lines the modules received
};

class CliRunner
{
public:
    // Port names of their own per test process: Qt's serial port takes a
    // lock file named after the port, shared by every process of the machine.
    static QString port(int index = 0)
    {
        return QStringLiteral("ttyUSB%1").arg(qint64(::getpid()) * 10 + index);
    }

    // sim: radioconf-sim's options (adapters, behaviour); cli: the tool's.
    static CliRun run(const QStringList &sim, const QStringList &cli, int timeoutMs = 60000)
    {
        CliRun result;
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("requests.log"));
        QProcess process;
        process.start(RADIOCONF_SIM,
                      QStringList{"--log", log} + sim + QStringList{"--", RADIOCONF_CLI} + cli);
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
        }
        result.exitCode = process.exitCode();
        result.exitStatus = process.exitStatus();
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        QFile file(log);
        if (file.open(QIODevice::ReadOnly))
            result.requests = QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
        return result;
    }

    // The tool alone, outside any test bed.
    static CliRun runPlain(const QStringList &cli, int timeoutMs = 60000)
    {
        CliRun result;
        QProcess process;
        process.start(RADIOCONF_CLI, cli);
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
        }
        result.exitCode = process.exitCode();
        result.exitStatus = process.exitStatus();
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }
};

#endif // CLIRUNNER_H
