#include "cli/clitool.h"

#include "cli/commandtable.h"
#include "cli/resultwriter.h"

#include <QCoreApplication>

#include <cstdio>
#include <utility>

namespace {

const char PROGRAM[] = "radioconf-cli";

// Word-wrapped to 79 columns; lines after the first indented.
QString wrap(const QString &text, int indent, int firstIndent = 0)
{
#if QT_VERSION >= QT_VERSION_CHECK(5, 14, 0)
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
#else
    const QStringList words = text.split(QLatin1Char(' '), QString::SkipEmptyParts);
#endif
    QString result = QString(firstIndent, QLatin1Char(' '));
    int column = firstIndent;
    bool lineEmpty = true;
    for (const QString &word : words) {
        if (!lineEmpty && column + 1 + word.size() > 79) {
            result += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            result += QLatin1Char(' ');
            ++column;
        }
        result += word;
        column += word.size();
        lineEmpty = false;
    }
    return result + QLatin1Char('\n');
}

// The link worker's debug lines and Qt's warnings about a port that did not
// open (the worker sets its modem lines regardless) would drown the tool's
// own one-line reports.
void messageFilter(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg)
        return;
    std::fprintf(stderr, "%s: %s\n", PROGRAM, qPrintable(message));
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

CliTool::CliTool(QTextStream &out, QTextStream &err)
    : m_out(out), m_err(err), m_commands(
                                  out, err, [this](const QString &text) { fail(text); },
                                  [this](const QString &text) { progress(text); })
{
}

void CliTool::setSimulator(const QStringList &behaviours, Simulate simulate)
{
    m_commands.setSimulator(behaviours, std::move(simulate));
}

void CliTool::installMessageFilter()
{
    qInstallMessageHandler(messageFilter);
}

QString CliTool::mainHelp() const
{
    QString text = QStringLiteral(
        "Usage: radioconf-cli COMMAND [options]\n"
        "\n"
        "Reads and writes the parameters of a long-range radio module attached through\n"
        "a USB serial adapter, like the radioconf window does.\n"
        "\n"
        "Commands:\n");
    for (const CommandRow &row : CommandTable::rows())
        text += QStringLiteral("  %1%2\n").arg(row.name.leftJustified(11), row.summary);
    text += QStringLiteral("  help COMMAND\n"
                           "\n"
                           "Options:\n"
                           "  -h, --help     this help; COMMAND --help for a command's options\n"
                           "  -q, --quiet    no progress on standard error\n"
                           "  --version      the version\n"
                           "  --completion bash|zsh|fish\n"
                           "                 the shell's completion script\n"
                           "\n"
                           "Results go to standard output; progress and failures, one line\n"
                           "each naming the port, to standard error. With several ports the\n"
                           "exit code is the worst of theirs.\n"
                           "\n"
                           "Exit codes:\n");
    return text + Exit::help({Exit::Success, Exit::CheckFailed, Exit::UsageError, Exit::OpenFailed,
                              Exit::NoReply, Exit::PortFailed, Exit::Mismatch, Exit::OutputFailed});
}

int CliTool::run(const QStringList &arguments)
{
    const int code = dispatch(arguments.mid(1));
    // Results that did not reach their reader are no success, whatever the
    // modules did (the station has said so already).
    const QString error = ResultWriter::streamError(m_out);
    if (error.isEmpty() || code == Exit::OutputFailed)
        return code;
    fail(QStringLiteral("cannot write to standard output: %1").arg(error));
    return Exit::OutputFailed;
}

int CliTool::dispatch(const QStringList &args)
{
    if (args.isEmpty()) {
        m_err << mainHelp();
        m_err.flush();
        return Exit::UsageError;
    }
    const QString first = args.first();
    if (first == QLatin1String("-h") || first == QLatin1String("--help")) {
        m_out << mainHelp();
        m_out.flush();
        return Exit::Success;
    }
    if (first == QLatin1String("--version")) {
        m_out << PROGRAM << ' ' << QCoreApplication::applicationVersion() << '\n';
        m_out.flush();
        return Exit::Success;
    }
    if (first == QLatin1String("help")) {
        if (args.size() == 1) {
            m_out << mainHelp();
            m_out.flush();
            return Exit::Success;
        }
        return runCommand(args.at(1), {QStringLiteral("--help")});
    }
    if (first == QLatin1String("--completion"))
        return completion(args.value(1));
    return runCommand(first, args.mid(1));
}

int CliTool::completion(const QString &shell)
{
    const QList<Completion::Command> commands = CommandTable::completion(m_commands.behaviours());
    if (shell == QLatin1String("bash"))
        m_out << Completion::bash(commands);
    else if (shell == QLatin1String("zsh"))
        m_out << Completion::zsh(commands);
    else if (shell == QLatin1String("fish"))
        m_out << Completion::fish(commands);
    else {
        fail(QStringLiteral("--completion \"%1\" refused: bash, zsh or fish").arg(shell));
        return Exit::UsageError;
    }
    m_out.flush();
    return Exit::Success;
}

int CliTool::runCommand(const QString &name, const QStringList &arguments)
{
    const CommandRow *row = CommandTable::find(name);
    if (!row) {
        m_err << PROGRAM << ": unknown command \"" << name << "\"; see " << PROGRAM << " --help\n";
        m_err.flush();
        return Exit::UsageError;
    }
    m_command = name;

    QCommandLineParser parser;
    parser.addOptions(CommandTable::commonOptions());
    for (const CommandRow::Option &entry : row->options) {
        QCommandLineOption option = entry.option;
        if (option.names().contains(QStringLiteral("behaviour")))
            option.setDescription(
                option.description() +
                QStringLiteral(" One of: %1.").arg(m_commands.behaviours().join(", ")));
        parser.addOption(option);
    }

    if (!parser.parse(QStringList{QLatin1String(PROGRAM)} + arguments)) {
        // Qt's text ends with a full stop; ours goes on after it.
        QString error = parser.errorText();
        if (error.endsWith(QLatin1Char('.')))
            error.chop(1);
        fail(QStringLiteral("%1; see %2 %3 --help").arg(error, PROGRAM, name));
        return Exit::UsageError;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        // Qt's usage line names neither the command nor its synopsis.
        const QString options = parser.helpText();
        m_out << wrap(QStringLiteral("Usage: %1 %2").arg(PROGRAM, row->synopsis()), 8) << '\n'
              << wrap(row->description, 0) << '\n'
              << options.mid(options.indexOf(QLatin1String("Options:"))) << '\n'
              << "Exit codes:\n"
              << Exit::help(row->exitCodes);
        m_out.flush();
        return Exit::Success;
    }
    if (!parser.positionalArguments().isEmpty()) {
        fail(QStringLiteral("unexpected argument \"%1\"; see %2 %3 --help")
                 .arg(parser.positionalArguments().first(), PROGRAM, name));
        return Exit::UsageError;
    }
    m_quiet = parser.isSet(QStringLiteral("quiet"));
    m_commands.setQuiet(m_quiet);

    return (m_commands.*row->handler)(parser);
}

void CliTool::progress(const QString &text)
{
    if (m_quiet)
        return;
    m_err << PROGRAM << ": " << text << '\n';
    m_err.flush();
}

void CliTool::fail(const QString &text)
{
    m_err << PROGRAM << ": " << m_command << (m_command.isEmpty() ? "" : ": ") << text << '\n';
    m_err.flush();
}
