#ifndef COMPLETION_H
#define COMPLETION_H

#include <QList>
#include <QString>
#include <QStringList>

// Shell completion scripts for radioconf-cli, written from its table of
// commands so that they name exactly its commands, options and values.
// Pure: the table in, a script's text out.
namespace Completion {

struct Option
{
    enum Values { None, Free, File, Port, Words };
    QStringList names; // "--port", "-q"
    Values values = None;
    QStringList words; // for Words
    QString help;      // one line, for zsh and fish
};

struct Command
{
    QString name;
    QString help; // one line
    QList<Option> options;
};

QString bash(const QList<Command> &commands);
QString zsh(const QList<Command> &commands);
QString fish(const QList<Command> &commands);

} // namespace Completion

#endif // COMPLETION_H
