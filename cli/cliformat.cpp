#include "cli/cliformat.h"

#include <QJsonDocument>
#include <QJsonValue>

#include <QVector>

#include <algorithm>
#include <climits>
#include <cmath>

using Frames::Field;

namespace CliFormat {

namespace {

const QString PORT_KEY = QStringLiteral("port");
const QString MODEL_KEY = QStringLiteral("model");
const QString VERSION_KEY = QStringLiteral("version");
const QString MAC_KEY = QStringLiteral("mac");

// Keys of read --json's lines, and of the station's, that carry no setting.
const QStringList IGNORED_KEYS{PORT_KEY,
                               MODEL_KEY,
                               VERSION_KEY,
                               MAC_KEY,
                               QStringLiteral("outcome"),
                               QStringLiteral("error"),
                               QStringLiteral("time"),
                               QStringLiteral("result"),
                               QStringLiteral("reason")};

// The module keeps the frequency in whole kHz: a finer value would be
// rounded to another frequency than the one asked for, so it is refused.
bool finerThanStep(Field field, const QString &text)
{
    if (Frames::fieldInfo(field).kind != Frames::FieldKind::Frequency)
        return false;
    bool ok = false;
    const double kHz = text.toDouble(&ok) * 1000.0;
    // Far below a kHz, far above binary64's error on 24-bit kHz.
    return ok && std::fabs(kHz - std::round(kHz)) > 1e-6;
}

int editDistance(const QString &a, const QString &b)
{
    QVector<int> row(b.size() + 1);
    for (int j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j] = std::min(
                {above + 1, row[j - 1] + 1, diagonal + (a.at(i - 1) == b.at(j - 1) ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

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
    if (finerThanStep(field, text.trimmed()))
        return std::nullopt;
    return Frames::parseText(field, text.trimmed());
}

QString refusal(Field field, const QString &text)
{
    if (finerThanStep(field, text.trimmed()) && Frames::parseText(field, text.trimmed()))
        return QStringLiteral("%1: the module's step is 1 kHz (0.001 MHz); give at most three "
                              "decimals.")
            .arg(Frames::fieldName(field));
    return Frames::refusal(field);
}

QString nearestKey(const QString &key, const QStringList &keys)
{
    QString nearest;
    int best = INT_MAX;
    for (const QString &candidate : keys) {
        const int distance = editDistance(key.toLower(), candidate.toLower());
        if (distance < best) {
            best = distance;
            nearest = candidate;
        }
    }
    return nearest;
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

std::optional<Changes> changesFromJson(const QJsonObject &object, QString *error)
{
    QStringList fields;
    for (Field field : Frames::ALL_FIELDS)
        fields << Frames::fieldKey(field);
    // A mistyped key would leave its value unwritten without a word.
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!fields.contains(it.key()) && !IGNORED_KEYS.contains(it.key())) {
            *error = QStringLiteral("unknown key \"%1\" (did you mean \"%2\"? the fields are %3)")
                         .arg(it.key(), nearestKey(it.key(), fields), fields.join(", "));
            return std::nullopt;
        }
    }
    Changes changes;
    for (Field field : Frames::ALL_FIELDS) {
        const QString key = Frames::fieldKey(field);
        const QJsonValue value = object.value(key);
        if (value.isUndefined() || value.isNull())
            continue;
        const std::optional<int> parsed = parseJsonValue(field, value);
        if (!parsed) {
            *error = QStringLiteral("\"%1\": %2")
                         .arg(key, refusal(field, value.isDouble() ? numberText(value.toDouble())
                                                                   : value.toString()));
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
    object.insert(PORT_KEY, port.name);
    object.insert(QStringLiteral("vid"),
                  port.hasIdentifiers ? QJsonValue(identifiersText(port).left(4)) : QJsonValue());
    object.insert(QStringLiteral("pid"),
                  port.hasIdentifiers ? QJsonValue(identifiersText(port).mid(5)) : QJsonValue());
    object.insert(QStringLiteral("description"), port.description);
    object.insert(QStringLiteral("recognised"), port.recognised);
    return object;
}

} // namespace CliFormat
