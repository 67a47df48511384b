#include "cli/completion.h"

#include <array>

namespace {

// The ports to offer: the first column of the tool's own list --all, after
// the mark of a recognised adapter.
const char PORTS[] = "radioconf-cli list --all 2>/dev/null | awk '{print ($1 == \"*\") ? $2 : $1}'";

// Single-quoted for any of the three shells.
QString quoted(QString text)
{
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QLatin1String("'\\''")) +
           QLatin1Char('\'');
}

QString commandNames(const QList<Completion::Command> &commands)
{
    QStringList names;
    for (const Completion::Command &command : commands)
        names << command.name;
    return names.join(QLatin1Char(' '));
}

// What a shell does with an option's value, one text for each kind after
// None; %1 in the last stands for the words, space-separated.
using Actions = std::array<const char *, 4>;

QString action(const Completion::Option &option, const Actions &actions, bool quote)
{
    if (option.values == Completion::Option::None)
        return QString();
    const QString text = QString::fromLatin1(actions[option.values - 1]);
    if (option.values != Completion::Option::Words)
        return text;
    const QString words = option.words.join(QLatin1Char(' '));
    return text.arg(quote ? quoted(words) : words);
}

} // namespace

QString Completion::bash(const QList<Command> &commands)
{
    QString script =
        QStringLiteral("# bash completion for radioconf-cli, written by the build from its table "
                       "of commands.\n"
                       "_radioconf_cli_ports() { %1; }\n"
                       "_radioconf_cli()\n"
                       "{\n"
                       "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
                       "    COMPREPLY=()\n"
                       "    if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
                       "        COMPREPLY=($(compgen -W %2 -- \"$cur\"))\n"
                       "        return\n"
                       "    fi\n"
                       "    case ${COMP_WORDS[1]} in\n")
            .arg(QLatin1String(PORTS),
                 quoted(commandNames(commands) + QStringLiteral(" help --help --version")));
    for (const Command &command : commands) {
        QStringList all;
        QString values;
        for (const Option &option : command.options) {
            all << option.names;
            const QString reply = action(
                option,
                {"return", "compopt -o filenames; COMPREPLY=($(compgen -f -- \"$cur\")); return",
                 "COMPREPLY=($(compgen -W \"$(_radioconf_cli_ports)\" -- \"$cur\")); return",
                 "COMPREPLY=($(compgen -W %1 -- \"$cur\")); return"},
                true);
            if (!reply.isEmpty())
                values += QStringLiteral("        %1) %2 ;;\n")
                              .arg(option.names.join(QLatin1Char('|')), reply);
        }
        script += QStringLiteral("    %1)\n").arg(command.name);
        if (!values.isEmpty())
            script += QStringLiteral("        case $prev in\n%1        esac\n").arg(values);
        script += QStringLiteral("        COMPREPLY=($(compgen -W %1 -- \"$cur\")) ;;\n")
                      .arg(quoted(all.join(QLatin1Char(' '))));
    }
    return script + QStringLiteral("    help)\n"
                                   "        [ \"$COMP_CWORD\" -eq 2 ] &&\n"
                                   "            COMPREPLY=($(compgen -W %1 -- \"$cur\")) ;;\n"
                                   "    esac\n"
                                   "}\n"
                                   "complete -F _radioconf_cli radioconf-cli\n")
                        .arg(quoted(commandNames(commands)));
}

QString Completion::zsh(const QList<Command> &commands)
{
    QString script =
        QStringLiteral(
            "#compdef radioconf-cli\n"
            "# zsh completion for radioconf-cli, written by the build from its table of commands.\n"
            "_radioconf_cli_ports() {\n"
            "    local -a ports\n"
            "    ports=(${(f)\"$(%1)\"})\n"
            "    _describe port ports\n"
            "}\n"
            "_radioconf_cli() {\n"
            "    if (( CURRENT == 2 )); then\n"
            "        local -a commands\n"
            "        commands=(\n")
            .arg(QLatin1String(PORTS));
    for (const Command &command : commands)
        script += QStringLiteral("            %1\n")
                      .arg(quoted(command.name + QLatin1Char(':') + command.help));
    script += QStringLiteral("        )\n"
                             "        _describe command commands\n"
                             "        return\n"
                             "    fi\n"
                             "    shift words\n"
                             "    (( CURRENT-- ))\n"
                             "    case ${words[1]} in\n");
    for (const Command &command : commands) {
        script += QStringLiteral("    %1)\n        _arguments").arg(command.name);
        for (const Option &option : command.options) {
            const QString value = action(
                option, {":value: ", ":file:_files", ":port:_radioconf_cli_ports", ":value:(%1)"},
                false);
            QString help = option.help;
            help.replace(QLatin1Char('['), QLatin1Char('('))
                .replace(QLatin1Char(']'), QLatin1Char(')'));
            // A port may be named again; the other options once.
            for (const QString &name : option.names)
                script +=
                    QStringLiteral(" \\\n            %1")
                        .arg(quoted(
                            (option.values == Option::Port ? QStringLiteral("*") : QString()) +
                            name + QLatin1Char('[') + help + QLatin1Char(']') + value));
        }
        script += QStringLiteral(" ;;\n");
    }
    return script + QStringLiteral("    esac\n}\n_radioconf_cli \"$@\"\n");
}

QString Completion::fish(const QList<Command> &commands)
{
    QString script = QStringLiteral("# fish completion for radioconf-cli, written by the build "
                                    "from its table of commands.\n"
                                    "function __radioconf_cli_ports; %1; end\n"
                                    "complete -c radioconf-cli -f\n")
                         .arg(QLatin1String(PORTS));
    for (const Command &command : commands)
        script += QStringLiteral("complete -c radioconf-cli -n __fish_use_subcommand -a %1 -d %2\n")
                      .arg(command.name, quoted(command.help));
    for (const Command &command : commands) {
        const QString when = quoted(QStringLiteral("__fish_seen_subcommand_from ") + command.name);
        for (const Option &option : command.options) {
            QString names;
            for (const QString &name : option.names)
                names += name.startsWith(QLatin1String("--"))
                             ? QStringLiteral(" -l ") + name.mid(2)
                             : QStringLiteral(" -s ") + name.mid(1);
            const QString values = action(
                option, {" -x", " -r -F", " -x -a '(__radioconf_cli_ports)'", " -x -a %1"}, true);
            script += QStringLiteral("complete -c radioconf-cli -n %1%2%3 -d %4\n")
                          .arg(when, names, values, quoted(option.help));
        }
    }
    return script;
}
