#ifndef CLITOOL_H
#define CLITOOL_H

#include "cli/commands.h"

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
    using Simulate = Commands::Simulate;

    CliTool(QTextStream &out, QTextStream &err);

    // The simulated module is linked into the program only, not into
    // radioconf_cli; without it the simulate command is refused.
    void setSimulator(const QStringList &behaviours, Simulate simulate);

    // arguments as the process got them, the program first.
    int run(const QStringList &arguments);

    // Keeps stderr for progress and failures: Qt's debug and warning lines
    // are dropped, critical and fatal ones kept.
    static void installMessageFilter();

private:
    // The command named first in args, without the program.
    int dispatch(const QStringList &args);
    int runCommand(const QString &name, const QStringList &arguments);
    // bash, zsh or fish.
    int completion(const QString &shell);

    QString mainHelp() const;
    void progress(const QString &text);
    void fail(const QString &text);

    QTextStream &m_out;
    QTextStream &m_err;
    bool m_quiet = false;
    QString m_command;
    Commands m_commands;
};

#endif // CLITOOL_H
