#include "cli/provisiontable.h"

#include "config/profile.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>

namespace {

const QString MAC_COLUMN = QStringLiteral("mac");

// Cells split at commas, trimmed, with spreadsheet quotes taken off.
QStringList cells(const QString &line)
{
    QStringList result = line.split(QLatin1Char(','));
    for (QString &cell : result) {
        cell = cell.trimmed();
        if (cell.size() >= 2 && cell.startsWith(QLatin1Char('"')) &&
            cell.endsWith(QLatin1Char('"')))
            cell =
                cell.mid(1, cell.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\""));
    }
    return result;
}

QString lineError(int line, const QString &text)
{
    return QStringLiteral("line %1: %2").arg(line).arg(text);
}

} // namespace

QString ProvisionTable::normalMac(const QString &text)
{
    QString digits = text;
    digits.remove(QRegularExpression(QStringLiteral("[:\\-. ]")));
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{16}$"));
    return hex.match(digits).hasMatch() ? digits.toUpper() : QString();
}

std::optional<ProvisionTable> ProvisionTable::parse(const QByteArray &csv, QString *error)
{
    QString text = QString::fromUtf8(csv);
    if (text.startsWith(QChar(0xfeff))) // a spreadsheet's byte-order mark
        text.remove(0, 1);
    const QStringList lines = text.split(QLatin1Char('\n'));

    // Column names as the header may give them: the MAC, then the fields in
    // the order of ALL_FIELDS.
    QStringList known{MAC_COLUMN};
    for (Frames::Field field : Frames::ALL_FIELDS)
        known << Frames::fieldKey(field);
    QList<int> columns; // indexes into known
    int headerLine = 0;
    QMap<QString, int> macLines;
    ProvisionTable table;
    for (int index = 0; index < lines.size(); ++index) {
        const int number = index + 1;
        const QString line = lines.at(index).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList values = cells(line);
        if (!headerLine) {
            headerLine = number;
            for (const QString &name : values) {
                const int column = known.indexOf(name.toLower());
                if (column < 0) {
                    *error = lineError(number, QStringLiteral("unknown column \"%1\" (did you mean "
                                                              "\"%2\"? known: %3)")
                                                   .arg(name, Profile::nearestKey(name, known),
                                                        known.join(QStringLiteral(", "))));
                    return std::nullopt;
                }
                if (columns.contains(column)) {
                    *error =
                        lineError(number, QStringLiteral("column \"%1\" named twice").arg(name));
                    return std::nullopt;
                }
                columns << column;
            }
            if (!columns.contains(0)) {
                *error = lineError(number, QStringLiteral("the header names no \"mac\" column"));
                return std::nullopt;
            }
            continue;
        }
        if (values.size() != columns.size()) {
            *error =
                lineError(number, QStringLiteral("%1 cells where the header on line %2 names %3 "
                                                 "columns")
                                      .arg(values.size())
                                      .arg(headerLine)
                                      .arg(columns.size()));
            return std::nullopt;
        }
        QString mac;
        CliFormat::Changes changes;
        for (int column = 0; column < columns.size(); ++column) {
            const QString &value = values.at(column);
            if (columns.at(column) == 0) {
                mac = normalMac(value);
                if (mac.isEmpty()) {
                    *error = lineError(number, QStringLiteral("MAC \"%1\" is not 16 hexadecimal "
                                                              "digits")
                                                   .arg(value));
                    return std::nullopt;
                }
                continue;
            }
            if (value.isEmpty())
                continue;
            const Frames::Field field = Frames::ALL_FIELDS[columns.at(column) - 1];
            const std::optional<int> parsed = Profile::parseValue(field, value);
            if (!parsed) {
                *error = lineError(number, QStringLiteral("%1 \"%2\" refused: %3")
                                               .arg(Frames::fieldKey(field), value,
                                                    Profile::refusal(field, value)));
                return std::nullopt;
            }
            changes.insert(field, *parsed);
        }
        if (macLines.contains(mac)) {
            *error = lineError(number, QStringLiteral("MAC %1 already listed on line %2")
                                           .arg(mac)
                                           .arg(macLines.value(mac)));
            return std::nullopt;
        }
        macLines.insert(mac, number);
        table.m_rows.insert(mac, changes);
    }
    if (!headerLine) {
        *error = lineError(1, QStringLiteral("no header line (mac and field keys)"));
        return std::nullopt;
    }
    return table;
}

std::optional<CliFormat::Changes> ProvisionTable::row(const QString &mac) const
{
    const auto it = m_rows.constFind(normalMac(mac));
    if (it == m_rows.constEnd())
        return std::nullopt;
    return *it;
}
