#ifndef COMMANDINPUT_H
#define COMMANDINPUT_H

#include "cli/cliformat.h"
#include "cli/fromfile.h"
#include "cli/modulejob.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// What a command of radioconf-cli is given to work on, checked before
// anything is sent: its ports, its files and its values. Each refusal is
// said through fail, naming the option; notes go to progress.
class CommandInput
{
public:
    using Message = std::function<void(const QString &text)>;

    CommandInput(Message fail, Message progress);

    // The ports named (--port), every recognised one (all), or the only one
    // attached, one spelling per device; empty, with *exitCode set, when
    // that fails.
    QStringList ports(const QStringList &named, bool all, int *exitCode) const;
    // One spelling per device, the first given; the others dropped with a
    // note.
    QStringList uniquePorts(const QStringList &ports) const;
    // The ports the station provisions now: those named (with watching, those
    // attached), else the recognised adapters.
    static std::function<QStringList()> stationScan(const QStringList &ports, bool watch);

    // The contents of the file an option (without "--") names.
    std::optional<QByteArray> readFile(const QString &option, const QString &path) const;
    // --from's file; one object that cannot be taken is refused here.
    std::optional<FromFile> fromFile(const QString &path) const;
    // The value options given, by field, as typed.
    std::optional<CliFormat::Changes> values(const QMap<Frames::Field, QString> &given) const;

    // The values of --from (named path) for the module on port.
    static std::optional<CliFormat::Changes> fromFor(const FromFile &file, const QString &path,
                                                     const QString &port, const QString &mac,
                                                     QString *why);
    // write's plan: the module's values, --from's on top, the options' on top.
    static ModuleJob::Plan writePlan(const std::optional<FromFile> &from, const QString &path,
                                     const CliFormat::Changes &changes);

private:
    Message m_fail;
    Message m_progress;
};

#endif // COMMANDINPUT_H
