#ifndef COMMANDS_H
#define COMMANDS_H

#include "cli/commandinput.h"
#include "cli/modulejob.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <optional>

// What radioconf-cli's commands do, once their options are parsed: one
// handler each, as the table of commands names them. Results go to out
// alone; progress and failures through the two messages.
class Commands
{
public:
    using Message = std::function<void(const QString &text)>;
    // Serves a simulated module until interrupted; returns the exit code.
    using Simulate = std::function<int(const QString &behaviour, int delayMs, QTextStream &out,
                                       QTextStream &err)>;

    Commands(QTextStream &out, QTextStream &err, Message fail, Message progress);

    // Without it the simulate command is refused.
    void setSimulator(const QStringList &behaviours, Simulate simulate);
    const QStringList &behaviours() const { return m_behaviours; }
    // No progress for the exchanges.
    void setQuiet(bool quiet) { m_quiet = quiet; }

    int list(QCommandLineParser &parser);
    int read(QCommandLineParser &parser);
    int write(QCommandLineParser &parser);
    int provision(QCommandLineParser &parser);
    int doctor(QCommandLineParser &parser);
    int simulate(QCommandLineParser &parser);

private:
    std::optional<int> settleTime(const QCommandLineParser &parser);
    ModuleJob::Progress progressCallback();
    // The exchanges of read and write on every port given; plan as for
    // ModuleJob.
    int runPorts(const QCommandLineParser &parser, const ModuleJob::Plan &plan,
                 const QString &succeeded);
    void fail(const QString &text) { m_fail(text); }
    void progress(const QString &text) { m_progress(text); }

    QTextStream &m_out;
    QTextStream &m_err;
    Message m_fail;
    Message m_progress;
    bool m_quiet = false;
    QStringList m_behaviours;
    Simulate m_simulator;
    CommandInput m_input;
};

#endif // COMMANDS_H
