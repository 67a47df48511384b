#include "cli/commandinput.h"

#include "config/profile.h"
#include "config/linkport.h"
#include "discovery/portresolver.h"
#include "discovery/sysfsportscan.h"

#include <QFile>

CommandInput::CommandInput(Message fail, Message progress)
    : m_fail(std::move(fail)), m_progress(std::move(progress))
{
}

QStringList CommandInput::ports(const QStringList &named, bool all, int *exitCode) const
{
    const PortResolver::Resolution resolution = PortResolver::resolve(
        named, all, named.isEmpty() ? SysfsPortScan::recognisedPorts() : std::nullopt,
        &PortResolver::fullScan);
    if (resolution.ports.isEmpty()) {
        m_fail(resolution.reason);
        *exitCode = resolution.exitCode;
        return {};
    }
    return uniquePorts(resolution.ports);
}

QStringList CommandInput::uniquePorts(const QStringList &ports) const
{
    // Two exchanges with one module at once would keep each other out.
    const PortResolver::Unique unique = PortResolver::unique(ports, PortResolver::devices(ports));
    for (const auto &dropped : unique.dropped)
        m_progress(
            QStringLiteral("%1 is %2: served once, as %2").arg(dropped.first, dropped.second));
    return unique.ports;
}

std::function<QStringList()> CommandInput::stationScan(const QStringList &ports, bool watch)
{
    if (ports.isEmpty())
        return &PortResolver::recognisedPorts;
    // Without watching, a port named but not there fails as any port does.
    if (!watch)
        return [ports] { return ports; };
    return [ports] {
        QStringList present;
        // A port across the network is no device that is plugged in: it is
        // there, and a server that does not answer is its open failure.
        for (const QString &port : ports) {
            if (LinkPort::isNetworkName(port) || PortResolver::exists(port))
                present << port;
        }
        return present;
    };
}

std::optional<QByteArray> CommandInput::readFile(const QString &option, const QString &path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_fail(QStringLiteral("--%1 %2: %3").arg(option, path, file.errorString()));
        return std::nullopt;
    }
    return file.readAll();
}

std::optional<FromFile> CommandInput::fromFile(const QString &path) const
{
    const std::optional<QByteArray> bytes = readFile(QStringLiteral("from"), path);
    if (!bytes)
        return std::nullopt;
    QString error;
    const std::optional<FromFile> file = FromFile::parse(*bytes, &error);
    // One object goes to every port: one that cannot be taken is refused now.
    if (!file || (file->entries().size() == 1 && !file->select({}, {}, {}, &error))) {
        m_fail(QStringLiteral("--from %1: %2").arg(path, error));
        return std::nullopt;
    }
    return file;
}

std::optional<CliFormat::Changes>
CommandInput::values(const QMap<Frames::Field, QString> &given) const
{
    CliFormat::Changes changes;
    bool refused = false;
    for (auto it = given.cbegin(); it != given.cend(); ++it) {
        const std::optional<int> value = Profile::parseValue(it.key(), it.value());
        if (!value) {
            m_fail(QStringLiteral("%1 \"%2\" refused: %3")
                       .arg(CliFormat::optionName(it.key()), it.value(),
                            Profile::refusal(it.key(), it.value())));
            refused = true;
            continue;
        }
        changes.insert(it.key(), *value);
    }
    if (refused)
        return std::nullopt;
    return changes;
}

std::optional<CliFormat::Changes> CommandInput::fromFor(const FromFile &file, const QString &path,
                                                        const QString &port, const QString &mac,
                                                        QString *why)
{
    const std::optional<CliFormat::Changes> changes =
        file.select(port, mac, PortResolver::devices(QStringList{port} + file.ports()), why);
    if (!changes)
        *why = QStringLiteral("--from %1: %2; nothing written").arg(path, *why);
    return changes;
}

ModuleJob::Plan CommandInput::writePlan(const std::optional<FromFile> &from, const QString &path,
                                        const CliFormat::Changes &changes)
{
    // Fields left as they are go back as read: a code the module reports
    // that names no item cannot be written back.
    return [from, path, changes](const QString &port, const Frames::Parameters &read) {
        Frames::Settings settings = read.settings;
        if (from) {
            QString why;
            const std::optional<CliFormat::Changes> fromFile =
                fromFor(*from, path, port, read.mac, &why);
            if (!fromFile)
                return ModuleJob::refuseStep(why);
            settings = CliFormat::applyChanges(settings, *fromFile);
        }
        return ModuleJob::writeStep(CliFormat::applyChanges(settings, changes));
    };
}
