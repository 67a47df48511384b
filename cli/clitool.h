#ifndef CLITOOL_H
#define CLITOOL_H

#include "cli/cliformat.h"
#include "cli/commandinput.h"
#include "cli/modulejob.h"
#include "cli/portresult.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <optional>

// radioconf-cli: the module's exchange from the command line. Results go to
// out alone, so they can be piped; progress and failures to err.
class CliTool
{
public:
    // Serves a simulated module until interrupted; returns the exit code.
    using Simulate = std::function<int(const QString &behaviour, int delayMs, QTextStream &out,
                                       QTextStream &err)>;

    CliTool(QTextStream &out, QTextStream &err);

    // The simulated module is linked into the program only, not into
    // radioconf_cli; without it the simulate command is refused.
    void setSimulator(const QStringList &behaviours, Simulate simulate);

    // arguments as the process got them, the program first.
    int run(const QStringList &arguments);

    // Keeps stderr for progress and failures: Qt's debug and warning lines
    // are dropped, critical and fatal ones kept.
    static void installMessageFilter();

    // The commands, as the table of commands names them.
    int list(QCommandLineParser &parser);
    int read(QCommandLineParser &parser);
    int write(QCommandLineParser &parser);
    int provision(QCommandLineParser &parser);
    int doctor(QCommandLineParser &parser);
    int simulate(QCommandLineParser &parser);

private:
    // The command named first in args, without the program.
    int dispatch(const QStringList &args);
    int runCommand(const QString &name, const QStringList &arguments);
    // bash, zsh or fish.
    int completion(const QString &shell);

    QString mainHelp() const;
    std::optional<int> settleTime(const QCommandLineParser &parser);
    ModuleJob::Progress progressCallback();
    // The exchanges of read and write on every port given; plan as for
    // ModuleJob.
    int runPorts(const QCommandLineParser &parser, const ModuleJob::Plan &plan,
                 const QString &succeeded);
    void progress(const QString &text);
    void fail(const QString &text);

    QTextStream &m_out;
    QTextStream &m_err;
    bool m_quiet = false;
    QString m_command;
    QStringList m_behaviours;
    Simulate m_simulator;
    CommandInput m_input;
};

#endif // CLITOOL_H
