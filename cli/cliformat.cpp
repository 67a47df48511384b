#include "cli/cliformat.h"

#include <QJsonDocument>
#include <QJsonValue>

#include <cmath>

using Frames::Field;

namespace CliFormat {

namespace {

const QString PORT_KEY = QStringLiteral("port");
const QString MODEL_KEY = QStringLiteral("model");
const QString VERSION_KEY = QStringLiteral("version");
const QString MAC_KEY = QStringLiteral("mac");

// JSON numbers come back as doubles; give them to the text parsers as the
// shortest text that reads back as the same double.
QString numberText(double value)
{
    return QString::number(value, 'g', 17);
}

std::optional<int> parseJsonValue(Field field, const QJsonValue &value)
{
    if (value.isString())
        return parseValue(field, value.toString());
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (Frames::fieldInfo(field).kind == Frames::FieldKind::Frequency)
        return parseValue(field, numberText(number));
    // A group ID or a list item given as a number ("power": 7, "baud": 9600)
    // must be a whole one.
    if (!(std::floor(number) == number && std::fabs(number) < 1e9))
        return std::nullopt;
    return parseValue(field, QString::number(qint64(number)));
}

} // namespace

QString optionName(Field field)
{
    return QString::fromLatin1(Frames::fieldInfo(field).option);
}

std::optional<int> parseValue(Field field, const QString &text)
{
    return Frames::parseText(field, text.trimmed());
}

QString refusal(Field field)
{
    return Frames::refusal(field);
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

QJsonObject parametersJson(const QString &port, const Frames::Parameters &parameters)
{
    QJsonObject object;
    object.insert(PORT_KEY, port);
    for (Field field : Frames::ALL_FIELDS) {
        const int value = parameters.settings.value(field);
        const QString text = Frames::valueText(field, value);
        QJsonValue json;
        switch (Frames::fieldInfo(field).kind) {
        case Frames::FieldKind::Frequency:
            json = text.toDouble(); // MHz
            break;
        case Frames::FieldKind::Number:
            json = value;
            break;
        case Frames::FieldKind::List:
            if (!text.isEmpty()) // null for a code that names no item
                json = text;
            break;
        }
        object.insert(Frames::fieldKey(field), json);
    }
    object.insert(MODEL_KEY, parameters.model);
    object.insert(VERSION_KEY, parameters.version);
    object.insert(MAC_KEY, parameters.mac);
    return object;
}

std::optional<Changes> changesFromJson(const QByteArray &json, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("not JSON: %1 at offset %2")
                     .arg(parseError.errorString())
                     .arg(parseError.offset);
        return std::nullopt;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("not a JSON object");
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    Changes changes;
    for (Field field : Frames::ALL_FIELDS) {
        const QString key = Frames::fieldKey(field);
        const QJsonValue value = object.value(key);
        if (value.isUndefined() || value.isNull())
            continue;
        const std::optional<int> parsed = parseJsonValue(field, value);
        if (!parsed) {
            *error = QStringLiteral("\"%1\": %2").arg(key, Frames::refusal(field));
            return std::nullopt;
        }
        changes.insert(field, *parsed);
    }
    return changes;
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
    if (!port.hasIdentifiers)
        return QStringLiteral("----:----");
    return QStringLiteral("%1:%2")
        .arg(port.vendorId, 4, 16, QLatin1Char('0'))
        .arg(port.productId, 4, 16, QLatin1Char('0'))
        .toUpper();
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

QJsonArray portsJson(const QList<PortEntry> &ports)
{
    QJsonArray array;
    for (const PortEntry &port : ports) {
        QJsonObject object;
        object.insert(PORT_KEY, port.name);
        object.insert(QStringLiteral("vid"), port.hasIdentifiers
                                                 ? QJsonValue(identifiersText(port).left(4))
                                                 : QJsonValue());
        object.insert(QStringLiteral("pid"), port.hasIdentifiers
                                                 ? QJsonValue(identifiersText(port).mid(5))
                                                 : QJsonValue());
        object.insert(QStringLiteral("description"), port.description);
        object.insert(QStringLiteral("recognised"), port.recognised);
        array.append(object);
    }
    return array;
}

} // namespace CliFormat
