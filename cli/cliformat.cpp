#include "cli/cliformat.h"

#include "config/profile.h"

using Frames::Field;

namespace CliFormat {

QString optionName(Field field)
{
    return QString::fromLatin1(Frames::fieldInfo(field).option);
}

Frames::Settings applyChanges(Frames::Settings settings, const Changes &changes)
{
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        settings.setValue(it.key(), it.value());
    return settings;
}

QString valueText(Field field, const Frames::Settings &settings)
{
    const int value = settings.value(field);
    const QString text = Frames::valueText(field, value);
    if (text.isEmpty())
        return QStringLiteral("(code %1)").arg(value);
    if (const char *unit = Frames::fieldInfo(field).unit)
        return text + QLatin1Char(' ') + QLatin1String(unit);
    return text;
}

QString parametersText(const QString &port, const Frames::Parameters &parameters)
{
    QList<QPair<QString, QString>> lines;
    lines << qMakePair(QStringLiteral("Port"), port);
    for (Field field : Frames::ALL_FIELDS)
        lines << qMakePair(Frames::fieldName(field), valueText(field, parameters.settings));
    lines << qMakePair(QStringLiteral("Model"), parameters.model)
          << qMakePair(QStringLiteral("Version"), parameters.version)
          << qMakePair(QStringLiteral("MAC"), parameters.mac);
    int width = 0;
    for (const auto &line : lines)
        width = qMax(width, line.first.size() + 1);
    QString text;
    for (const auto &line : lines)
        text += (line.first + QLatin1Char(':')).leftJustified(width + 1) + line.second +
                QLatin1Char('\n');
    return text;
}

QStringList differences(const Frames::Settings &wanted, const Frames::Settings &got)
{
    QStringList texts;
    for (Field field : Frames::ALL_FIELDS) {
        if (wanted.value(field) != got.value(field))
            texts << QStringLiteral("%1: wanted %2, got %3")
                         .arg(Frames::fieldName(field), valueText(field, wanted),
                              valueText(field, got));
    }
    return texts;
}

QString identifiersText(const PortEntry &port)
{
    return port.identifiers();
}

QString portsText(const QList<PortEntry> &ports, bool all)
{
    int width = 0;
    for (const PortEntry &port : ports)
        width = qMax(width, port.name.size());
    QString text;
    for (const PortEntry &port : ports) {
        if (!all && !port.recognised)
            continue;
        QString line;
        if (all)
            line += port.recognised ? QStringLiteral("* ") : QStringLiteral("  ");
        line += port.name.leftJustified(width) + QStringLiteral("  ") + identifiersText(port);
        if (!port.description.isEmpty())
            line += QStringLiteral("  ") + port.description;
        text += line + QLatin1Char('\n');
    }
    return text;
}

QJsonObject portJson(const PortEntry &port)
{
    QJsonObject object;
    object.insert(QStringLiteral("port"), port.name);
    object.insert(QStringLiteral("vid"),
                  port.hasIdentifiers ? QJsonValue(identifiersText(port).left(4)) : QJsonValue());
    object.insert(QStringLiteral("pid"),
                  port.hasIdentifiers ? QJsonValue(identifiersText(port).mid(5)) : QJsonValue());
    object.insert(QStringLiteral("description"), port.description);
    object.insert(QStringLiteral("recognised"), port.recognised);
    return object;
}

} // namespace CliFormat
