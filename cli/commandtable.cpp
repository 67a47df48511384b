#include "cli/commandtable.h"

#include "cli/cliformat.h"
#include "cli/commands.h"
#include "config/frames.h"
#include "discovery/usbadapter.h"

using Values = Completion::Option::Values;
using Row = CommandRow;

namespace {

Row::Option flag(const QString &name, const QString &help)
{
    return {QCommandLineOption(name, help), Completion::Option::None, {}};
}

Row::Option valued(const QString &name, const QString &help, const QString &valueName,
                   Values values, const QString &defaultValue = QString())
{
    return {QCommandLineOption(name, help, valueName, defaultValue), values, {}};
}

Row::Option portOption(const QString &help)
{
    return valued(QStringLiteral("port"), help, QStringLiteral("name"), Completion::Option::Port);
}

Row::Option jsonOption()
{
    return flag(QStringLiteral("json"), QStringLiteral("Print JSON Lines, one object per line, "
                                                       "instead of text."));
}

Row::Option settleOption()
{
    return valued(QStringLiteral("settle"),
                  QStringLiteral("Wait MS after each exchange, for modules that need a pause "
                                 "between exchanges; default 0."),
                  QStringLiteral("ms"), Completion::Option::Free, QStringLiteral("0"));
}

// A setting's option: its help, value name and the values to offer come from
// the field table.
Row::Option fieldOption(Frames::Field field)
{
    const Frames::FieldInfo &info = Frames::fieldInfo(field);
    QString help = QStringLiteral("%1: %2.").arg(
        Frames::fieldName(field), Frames::itemTexts(field).join(QStringLiteral(", ")));
    if (info.optionHelp) {
        help = QString::fromLatin1(info.optionHelp);
        if (info.kind == Frames::FieldKind::Number)
            help = help.arg(info.minimum).arg(info.maximum);
    }
    Row::Option option = valued(CliFormat::optionName(field).mid(2), help,
                                QString::fromLatin1(info.optionValue), Completion::Option::Free);
    if (info.kind == Frames::FieldKind::List) {
        option.values = Completion::Option::Words;
        // "7(Max)" is typed as 7.
        for (const QString &item : Frames::itemTexts(field))
            option.words << item.section(QLatin1Char('('), 0, 0);
    }
    return option;
}

QString adapters()
{
    QStringList names;
    for (const UsbAdapter &adapter : RECOGNISED_ADAPTERS)
        names << QLatin1String(adapter.chip) + QLatin1Char(' ') + adapter.identifiers();
    return names.join(QStringLiteral(", "));
}

QList<Row> makeRows()
{
    using namespace Exit;
    const QString several = QStringLiteral(
        "With several ports (--port repeated, or --all) the modules are served side by side: "
        "every line is prefixed with its port, a summary line on standard error names the ports "
        "that failed and why, and the exit code is the worst of the ports'. Ctrl+C then ends it "
        "after the exchanges in progress.");
    QList<Row> rows;
    rows << Row{QStringLiteral("list"),
                QStringLiteral("list the serial ports of recognised adapters"),
                QStringLiteral("Lists the serial ports of recognised adapters (%1), one a line: "
                               "port, VID:PID, description. With --port, only the ports named; "
                               "one that is not there gives exit code 3.")
                    .arg(adapters()),
                {flag(QStringLiteral("all"),
                      QStringLiteral("List every serial port; mark recognised ones with *.")),
                 portOption(QStringLiteral("Only this port; may be repeated.")), jsonOption()},
                {Success, UsageError, OpenFailed, OutputFailed},
                &Commands::list};
    rows << Row{
        QStringLiteral("read"),
        QStringLiteral("read the module's parameters"),
        QStringLiteral("Reads the module's parameters and prints them: RF frequency (MHz), group "
                       "ID, RF TRx rate, RF power, UART baud rate and parity, wake-up time, "
                       "model, version and MAC. An exchange takes a few tens of milliseconds; a "
                       "module that does not answer, about 10 s. ") +
            several,
        {portOption(QStringLiteral("Serial port of the module (e.g. ttyUSB0 or /dev/ttyUSB0); "
                                   "repeat it for several modules, served side by side. May be "
                                   "left out when exactly one recognised adapter is attached.")),
         flag(QStringLiteral("all"),
              QStringLiteral("Every recognised adapter attached, side by side.")),
         settleOption(), jsonOption()},
        {Success, UsageError, OpenFailed, NoReply, PortFailed, OutputFailed},
        &Commands::read};
    Row write = rows.last();
    write.name = QStringLiteral("write");
    write.summary = QStringLiteral("write parameters to the module, and check its reply");
    write.description =
        QStringLiteral("Reads the module, applies the values given, writes them, and prints what "
                       "the module then reports. Values are written as the window shows them "
                       "(--rate 4.56K --power 7 --wakeup 1s). When the module reports other "
                       "values than those written, each such field is named, with what was "
                       "wanted and what came back, and the exit code is 6. ") +
        several;
    write.options = write.options.mid(0, 2);
    for (Frames::Field field : Frames::ALL_FIELDS)
        write.options << fieldOption(field);
    write.options << valued(
                         QStringLiteral("from"),
                         QStringLiteral("Take the values from FILE, as read --json wrote it: one "
                                        "object, or one a line of which each port takes the one "
                                        "for it (by port, else by MAC). Keys that are no field "
                                        "are refused, but for port, model, version, mac, "
                                        "outcome and error. Options given as well override "
                                        "the file."),
                         QStringLiteral("file"), Completion::Option::File)
                  << settleOption() << jsonOption();
    write.exitCodes = {Success,    UsageError, OpenFailed,  NoReply,
                       PortFailed, Mismatch,   OutputFailed};
    write.handler = &Commands::write;
    rows << write;
    rows << Row{
        QStringLiteral("provision"),
        QStringLiteral("set up every module attached, and each one plugged in"),
        QStringLiteral(
            "The provisioning station: writes the values of --from, each module's row of --table "
            "on top, to every recognised adapter attached (with --port, to the ports named alone), "
            "side by side, and verifies each. Each "
            "module's MAC is read first. One result line per module as it ends: time (UTC), "
            "port, model, MAC, and \"provisioned\" with the values, \"skipped\" or \"failed\" "
            "with why. A module that fails does not stop the others; a summary line goes to "
            "standard error, and the exit code is the worst of the modules'. A malformed table "
            "is refused, naming its line, before anything is sent. A result line that cannot be "
            "written (standard output, --log) ends the station: it takes no more modules."),
        {valued(
             QStringLiteral("from"),
             QStringLiteral("The values to write, as read --json wrote it (with several objects, "
                            "each module takes the one for its port, else for its MAC); without "
                            "it, each module's own."),
             QStringLiteral("file"), Completion::Option::File),
         portOption(QStringLiteral("Only this port (e.g. ttyUSB0, /dev/ttyUSB0 or a "
                                   "/dev/serial/by-id link); may be repeated. Other adapters are "
                                   "left alone; with --watch, a port not attached yet is waited "
                                   "for.")),
         valued(QStringLiteral("table"),
                QStringLiteral("Values of each module's own, by MAC: a CSV file whose header "
                               "names mac and any of frequency, group, rate, power, baud, "
                               "parity, wakeup, then one row per module. Its row goes on top of "
                               "--from. An empty cell keeps the other value."),
                QStringLiteral("file"), Completion::Option::File),
         flag(QStringLiteral("only-listed"),
              QStringLiteral("Skip (and report) modules whose MAC is not in --table.")),
         flag(QStringLiteral("watch"),
              QStringLiteral("Then stay, and provision each recognised adapter as it is plugged "
                             "in (once per plug) until Ctrl+C or SIGTERM, which end it after "
                             "the exchanges in progress.")),
         valued(QStringLiteral("log"), QStringLiteral("Append the result lines to FILE as well."),
                QStringLiteral("file"), Completion::Option::File),
         settleOption(), jsonOption()},
        {Success, UsageError, OpenFailed, NoReply, PortFailed, Mismatch, OutputFailed},
        &Commands::provision};
    rows << Row{
        QStringLiteral("doctor"),
        QStringLiteral("check this machine for what keeps a port from opening"),
        QStringLiteral(
            "Checks this machine for what keeps a module's port from opening, one line per check "
            "with what to do when it fails: a recognised adapter attached; each one's port opens "
            "for this user (with --port, the ports named instead); programs that take serial "
            "adapters (ModemManager, gpsd, brltty) running, and whether they hold one of those "
            "ports; the radioconf packages' udev rule installed. --json prints one object per "
            "check and line: check, ok, detail, fix, and port for a port's check."),
        {portOption(QStringLiteral(
             "Check this port instead of the recognised adapters; may be repeated.")),
         jsonOption()},
        {Success, CheckFailed, UsageError, OutputFailed},
        &Commands::doctor};
    rows << Row{
        QStringLiteral("simulate"),
        QStringLiteral("serve a simulated module on a pseudo-terminal"),
        QStringLiteral("Serves a simulated module on a pseudo-terminal until interrupted "
                       "(Ctrl+C). Prints the terminal's path on standard output, for "
                       "--port."),
        {valued(QStringLiteral("behaviour"),
                QStringLiteral("How the module behaves; default normal."), QStringLiteral("name"),
                Completion::Option::Words, QStringLiteral("normal")),
         valued(QStringLiteral("delay"),
                QStringLiteral("Pause between reply bytes for trickle, in ms."),
                QStringLiteral("ms"), Completion::Option::Free, QStringLiteral("20"))},
        {Success, UsageError},
        &Commands::simulate};
    return rows;
}

} // namespace

QString CommandRow::synopsis() const
{
    QString text = name;
    for (const Option &entry : options) {
        const QString optionName = QStringLiteral("--") + entry.option.names().constLast();
        text +=
            entry.option.valueName().isEmpty()
                ? QStringLiteral(" [%1]").arg(optionName)
                : QStringLiteral(" [%1 %2]").arg(optionName, entry.option.valueName().toUpper());
        if (entry.values == Completion::Option::Port)
            text += QStringLiteral("...");
    }
    return text;
}

QList<QCommandLineOption> CommandTable::commonOptions()
{
    return {QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                               QStringLiteral("Show this help.")),
            QCommandLineOption({QStringLiteral("q"), QStringLiteral("quiet")},
                               QStringLiteral("No progress on standard error."))};
}

const QList<CommandRow> &CommandTable::rows()
{
    static const QList<CommandRow> table = makeRows();
    return table;
}

const CommandRow *CommandTable::find(const QString &name)
{
    for (const CommandRow &row : rows()) {
        if (row.name == name)
            return &row;
    }
    return nullptr;
}

QList<Completion::Command> CommandTable::completion(const QStringList &behaviours)
{
    QList<Completion::Command> commands;
    for (const CommandRow &row : rows()) {
        Completion::Command command{row.name, row.summary, {}};
        QList<Row::Option> options;
        for (const QCommandLineOption &common : commonOptions())
            options << Row::Option{common, Completion::Option::None, {}};
        options << row.options;
        for (const Row::Option &entry : options) {
            Completion::Option option;
            for (const QString &name : entry.option.names())
                option.names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) +
                                    name;
            option.values = entry.values;
            option.words = entry.option.names().contains(QStringLiteral("behaviour")) ? behaviours
                                                                                      : entry.words;
            option.help = entry.option.description().section(QStringLiteral(". "), 0, 0);
            command.options << option;
        }
        commands << command;
    }
    return commands;
}
