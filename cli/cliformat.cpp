#include "cli/cliformat.h"

#include <QJsonDocument>
#include <QJsonValue>

#include <cmath>

using Frames::Field;

namespace CliFormat {

namespace {

const QString PortKey = QStringLiteral("port");
const QString ModelKey = QStringLiteral("model");
const QString VersionKey = QStringLiteral("version");
const QString MacKey = QStringLiteral("mac");

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
    if (field == Frames::Frequency)
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
    switch (field) {
    case Frames::Frequency:
        return QStringLiteral("--freq");
    case Frames::GroupId:
        return QStringLiteral("--group");
    case Frames::TrxRate:
        return QStringLiteral("--rate");
    case Frames::Power:
        return QStringLiteral("--power");
    case Frames::BaudRate:
        return QStringLiteral("--baud");
    case Frames::Parity:
        return QStringLiteral("--parity");
    case Frames::WakeupTime:
        return QStringLiteral("--wakeup");
    }
    return QString();
}

std::optional<int> parseValue(Field field, const QString &text)
{
    switch (field) {
    case Frames::Frequency: {
        const std::optional<quint32> kHz = Frames::parseFrequency(text.trimmed());
        if (!kHz)
            return std::nullopt;
        return int(*kHz);
    }
    case Frames::GroupId:
        return Frames::parseGroupId(text.trimmed());
    default: {
        const int code = Frames::itemIndex(field, text.trimmed());
        if (code < 0)
            return std::nullopt;
        return code;
    }
    }
}

QString refusal(Field field)
{
    // Let the window's check word it: give it settings refused in this field.
    Frames::Settings settings;
    if (field == Frames::Frequency)
        settings.frequencyKHz = 0;
    else if (field == Frames::GroupId)
        settings.groupId = -1;
    else
        settings.setCode(field, -1);
    for (const Frames::Problem &problem : Frames::validate(settings)) {
        if (problem.field == field)
            return problem.message;
    }
    return QString();
}

Frames::Settings applyChanges(Frames::Settings settings, const Changes &changes)
{
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        if (it.key() == Frames::Frequency)
            settings.frequencyKHz = quint32(it.value());
        else if (it.key() == Frames::GroupId)
            settings.groupId = it.value();
        else
            settings.setCode(it.key(), it.value());
    }
    return settings;
}

QString valueText(Field field, const Frames::Settings &settings)
{
    if (field == Frames::Frequency)
        return Frames::frequencyText(settings.frequencyKHz) + QStringLiteral(" MHz");
    if (field == Frames::GroupId)
        return QString::number(settings.groupId);
    const QString item = Frames::itemText(field, settings.code(field));
    if (item.isEmpty())
        return QStringLiteral("(code %1)").arg(settings.code(field));
    return item;
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
    const Frames::Settings &s = parameters.settings;
    QJsonObject object;
    object.insert(PortKey, port);
    object.insert(Frames::fieldKey(Frames::Frequency),
                  Frames::frequencyText(s.frequencyKHz).toDouble());
    object.insert(Frames::fieldKey(Frames::GroupId), s.groupId);
    for (Field field : Frames::LIST_FIELDS) {
        const QString item = Frames::itemText(field, s.code(field));
        object.insert(Frames::fieldKey(field), item.isEmpty() ? QJsonValue() : QJsonValue(item));
    }
    object.insert(ModelKey, parameters.model);
    object.insert(VersionKey, parameters.version);
    object.insert(MacKey, parameters.mac);
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
            *error = QStringLiteral("\"%1\": %2").arg(key, refusal(field));
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
        const QString w = valueText(field, wanted);
        const QString g = valueText(field, got);
        const bool differs = field == Frames::Frequency ? wanted.frequencyKHz != got.frequencyKHz
                             : field == Frames::GroupId ? wanted.groupId != got.groupId
                                                        : wanted.code(field) != got.code(field);
        if (differs)
            texts << QStringLiteral("%1: wanted %2, got %3").arg(Frames::fieldName(field), w, g);
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
        object.insert(PortKey, port.name);
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
