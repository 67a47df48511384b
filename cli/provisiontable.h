#ifndef PROVISIONTABLE_H
#define PROVISIONTABLE_H

#include "cli/cliformat.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <optional>

// Values of each module's own, keyed by its MAC, from a CSV table: a header
// line naming "mac" and any of the field keys, then one row per module. An
// empty cell leaves that field to the other values. Pure: no I/O.
class ProvisionTable
{
public:
    // Empty, with why and on which line in *error, for a malformed table.
    static std::optional<ProvisionTable> parse(const QByteArray &csv, QString *error);

    // The row of a MAC as the module reports it; empty when not listed.
    std::optional<CliFormat::Changes> row(const QString &mac) const;

    // 16 hexadecimal digits, upper case, without separators; empty when the
    // text is no MAC.
    static QString normalMac(const QString &text);

private:
    QMap<QString, CliFormat::Changes> m_rows;
};

#endif // PROVISIONTABLE_H
