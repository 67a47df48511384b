#include "cli/fromfile.h"

#include "cli/provisiontable.h"
#include "discovery/portresolver.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The objects of a file with one a line (read --json on several ports);
// empty, with why in *error, unless each non-empty line is one.
QList<QPair<int, QJsonObject>> lineObjects(const QByteArray &json, QString *error)
{
    QList<QPair<int, QJsonObject>> objects;
    const QList<QByteArray> lines = json.split('\n');
    for (int index = 0; index < lines.size(); ++index) {
        if (lines.at(index).trimmed().isEmpty())
            continue;
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(lines.at(index), &parseError);
        if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
            *error = QStringLiteral("line %1: %2")
                         .arg(index + 1)
                         .arg(parseError.error != QJsonParseError::NoError
                                  ? Profile::parseErrorText(parseError)
                                  : QStringLiteral("not a JSON object"));
            return {};
        }
        objects << qMakePair(index + 1, document.object());
    }
    return objects;
}

} // namespace

std::optional<FromFile> FromFile::parse(const QByteArray &json, QString *error)
{
    QList<QPair<int, QJsonObject>> objects;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error == QJsonParseError::NoError) {
        if (!document.isObject()) {
            *error = QStringLiteral("not a JSON object");
            return std::nullopt;
        }
        objects << qMakePair(1, document.object());
    } else {
        // One object a line; a first line that is no object alone is a
        // single document gone wrong, whose own error says more.
        QString lineError;
        objects = lineObjects(json, &lineError);
        if (objects.isEmpty()) {
            QString ignored;
            const bool jsonLines =
                !lineObjects(json.trimmed().split('\n').first(), &ignored).isEmpty();
            if (jsonLines)
                *error = lineError;
            else if (parseError.error == QJsonParseError::GarbageAtEnd)
                *error = QStringLiteral("more than one JSON object, and not one a line as read "
                                        "--json prints them (%1)")
                             .arg(Profile::parseErrorText(parseError));
            else
                *error = Profile::parseErrorText(parseError);
            return std::nullopt;
        }
    }
    FromFile file;
    for (const auto &object : std::as_const(objects)) {
        Entry entry;
        entry.line = object.first;
        QString why;
        const std::optional<Profile> profile = Profile::fromJson(object.second, &why);
        if (!profile) {
            *error =
                objects.size() > 1 ? QStringLiteral("line %1: %2").arg(entry.line).arg(why) : why;
            return std::nullopt;
        }
        entry.changes = profile->changes;
        entry.port = profile->port;
        entry.mac = ProvisionTable::normalMac(profile->mac);
        entry.failure = profile->failure;
        file.m_entries << entry;
    }
    return file;
}

QStringList FromFile::ports() const
{
    QStringList ports;
    for (const Entry &entry : m_entries) {
        if (!entry.port.isEmpty())
            ports << entry.port;
    }
    return ports;
}

std::optional<CliFormat::Changes> FromFile::select(const QString &port, const QString &mac,
                                                   const QMap<QString, QString> &devices,
                                                   QString *why) const
{
    if (m_entries.size() == 1)
        return take(m_entries, QString(), why);
    QList<Entry> byPort;
    QList<Entry> byMac;
    QStringList ports;
    QStringList macs;
    const QString device = PortResolver::device(port, devices);
    const QString normal = ProvisionTable::normalMac(mac);
    for (const Entry &entry : m_entries) {
        if (!entry.port.isEmpty()) {
            ports << entry.port;
            if (PortResolver::device(entry.port, devices) == device)
                byPort << entry;
        }
        if (!entry.mac.isEmpty()) {
            macs << entry.mac;
            if (entry.mac == normal)
                byMac << entry;
        }
    }
    if (!byPort.isEmpty())
        return take(byPort, port, why);
    if (!byMac.isEmpty())
        return take(byMac, QStringLiteral("MAC ") + normal, why);
    *why = QStringLiteral("none of its %1 objects is for %2 or MAC %3 (it has ports %4; MACs %5)")
               .arg(m_entries.size())
               .arg(port, normal.isEmpty() ? QStringLiteral("-") : normal,
                    ports.isEmpty() ? QStringLiteral("none") : ports.join(", "),
                    macs.isEmpty() ? QStringLiteral("none") : macs.join(", "));
    return std::nullopt;
}

std::optional<CliFormat::Changes> FromFile::take(const QList<Entry> &fitting, const QString &what,
                                                 QString *why) const
{
    QStringList lines;
    for (const Entry &entry : fitting)
        lines << QString::number(entry.line);
    if (fitting.size() > 1) {
        *why = QStringLiteral("%1 objects are for %2 (lines %3); keep one")
                   .arg(fitting.size())
                   .arg(what, lines.join(", "));
        return std::nullopt;
    }
    const Entry &entry = fitting.first();
    if (!entry.failure.isEmpty()) {
        *why =
            QStringLiteral("the object %1is of a port that failed (%2); it cannot be taken")
                .arg(entry.port.isEmpty() ? QString() : QStringLiteral("for %1 ").arg(entry.port),
                     entry.failure);
        return std::nullopt;
    }
    return entry.changes;
}
