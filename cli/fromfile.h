#ifndef FROMFILE_H
#define FROMFILE_H

#include "cli/cliformat.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// The values of --from: what read --json printed, one object, or one a line
// for several ports, or an object written by hand. Every key must be a
// field or one that read --json or the station adds. Pure: no I/O.
class FromFile
{
public:
    struct Entry
    {
        int line = 1; // where the object starts
        QString port;
        QString mac; // as ProvisionTable::normalMac, or empty
        CliFormat::Changes changes;
        QString failure; // why its port failed; such an object cannot be taken
    };

    // Empty, with why in *error, when the file is no such JSON, a key no
    // field, or a value refused.
    static std::optional<FromFile> parse(const QByteArray &json, QString *error);

    const QList<Entry> &entries() const { return m_entries; }
    QStringList ports() const;

    // The values for the module on port whose MAC is mac: the only object,
    // else the one for the same device (devices as PortResolver::devices
    // gives them), else the one with that MAC. Empty, with why in *why, when
    // none or several fit, or the one that fits is of a port that failed.
    std::optional<CliFormat::Changes> select(const QString &port, const QString &mac,
                                             const QMap<QString, QString> &devices,
                                             QString *why) const;

private:
    std::optional<CliFormat::Changes> take(const QList<Entry> &fitting, const QString &what,
                                           QString *why) const;

    QList<Entry> m_entries;
};

#endif // FROMFILE_H
