#ifndef COMMANDTABLE_H
#define COMMANDTABLE_H

#include "cli/completion.h"
#include "cli/exitcode.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>

#include <vector>

class Commands;
class QCommandLineParser;

// One command of radioconf-cli: everything its parsing, --help, the man page
// and the shell completions say of it comes from its row.
struct CommandRow
{
    struct Option
    {
        QCommandLineOption option;
        Completion::Option::Values values = Completion::Option::None;
        QStringList words; // the values offered, for Words
    };
    using Handler = int (Commands::*)(QCommandLineParser &parser);

    QString name;
    QString summary;       // one line
    QString description;   // for COMMAND --help
    QList<Option> options; // besides --help and --quiet, which every command has
    std::vector<Exit::Code> exitCodes;
    Handler handler = nullptr;

    // "read [--port NAME]... [--all] [--settle MS] [--json]"
    QString synopsis() const;
};

namespace CommandTable {

// --help and --quiet.
QList<QCommandLineOption> commonOptions();
const QList<CommandRow> &rows();
const CommandRow *find(const QString &name);
// The rows for the completion scripts; behaviours: simulate's, which the
// program knows and the library does not.
QList<Completion::Command> completion(const QStringList &behaviours);

} // namespace CommandTable

#endif // COMMANDTABLE_H
