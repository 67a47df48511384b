#include "config/profile.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QRegularExpression>
#include <QVector>

#include <algorithm>
#include <climits>
#include <cmath>

using Frames::Field;

namespace {

const QString PORT_KEY = QStringLiteral("port");
const QString MODEL_KEY = QStringLiteral("model");
const QString VERSION_KEY = QStringLiteral("version");
const QString MAC_KEY = QStringLiteral("mac");
const QString OUTCOME_KEY = QStringLiteral("outcome");

// Keys of read --json's lines, and of the station's, that carry no setting.
const QStringList IGNORED_KEYS{PORT_KEY,
                               MODEL_KEY,
                               VERSION_KEY,
                               MAC_KEY,
                               OUTCOME_KEY,
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
        return Profile::parseValue(field, value.toString());
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (Frames::fieldInfo(field).kind == Frames::FieldKind::Frequency)
        return Profile::parseValue(field, numberText(number));
    // A group ID or a list item given as a number ("power": 7, "baud": 9600)
    // must be a whole one.
    if (!(std::floor(number) == number && std::fabs(number) < 1e9))
        return std::nullopt;
    return Profile::parseValue(field, QString::number(qint64(number)));
}

QString failureOf(const QJsonObject &object)
{
    if (object.contains(QStringLiteral("error")))
        return object.value(QStringLiteral("error")).toString();
    if (object.value(QStringLiteral("result")).toString() == QLatin1String("failed"))
        return object.value(QStringLiteral("reason")).toString();
    const QJsonValue outcome = object.value(OUTCOME_KEY);
    if (!outcome.isUndefined() && outcome.toString() != QLatin1String("ok"))
        return outcome.toString();
    return QString();
}

// Single quotes unless the word is plain; a quote inside ends them for a
// moment.
QString shellWord(const QString &word)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:=@%+,-]+$"));
    if (plain.match(word).hasMatch())
        return word;
    return QLatin1Char('\'') + QString(word).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
           QLatin1Char('\'');
}

} // namespace

QJsonObject Profile::json(const QString &port, const Frames::Parameters &parameters)
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

QByteArray Profile::fileContents(const QString &port, const Frames::Parameters &parameters)
{
    QJsonObject object = json(port, parameters);
    if (port.isEmpty()) {
        for (const QString &key : {PORT_KEY, MODEL_KEY, VERSION_KEY, MAC_KEY})
            object.remove(key);
    } else {
        object.insert(OUTCOME_KEY, QStringLiteral("ok"));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<Profile> Profile::fromJson(const QJsonObject &object, QString *error)
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
    Profile profile;
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
        profile.changes.insert(field, *parsed);
    }
    profile.port = object.value(PORT_KEY).toString();
    profile.model = object.value(MODEL_KEY).toString();
    profile.version = object.value(VERSION_KEY).toString();
    profile.mac = object.value(MAC_KEY).toString();
    profile.failure = failureOf(object);
    return profile;
}

std::optional<Profile> Profile::parse(const QByteArray &json, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error == QJsonParseError::GarbageAtEnd) {
        *error = QStringLiteral("more than one JSON object; a profile holds one module's values "
                                "(%1)")
                     .arg(parseErrorText(parseError));
        return std::nullopt;
    }
    if (parseError.error != QJsonParseError::NoError) {
        *error = parseErrorText(parseError);
        return std::nullopt;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("not a JSON object");
        return std::nullopt;
    }
    std::optional<Profile> profile = fromJson(document.object(), error);
    if (profile && !profile->failure.isEmpty()) {
        *error = QStringLiteral("it is of a port that failed (%1); it cannot be taken")
                     .arg(profile->failure);
        return std::nullopt;
    }
    return profile;
}

QString Profile::parseErrorText(const QJsonParseError &error)
{
    return QStringLiteral("not JSON: %1 at offset %2").arg(error.errorString()).arg(error.offset);
}

std::optional<int> Profile::parseValue(Field field, const QString &text)
{
    if (finerThanStep(field, text.trimmed()))
        return std::nullopt;
    return Frames::parseText(field, text.trimmed());
}

QString Profile::refusal(Field field, const QString &text)
{
    if (finerThanStep(field, text.trimmed()) && Frames::parseText(field, text.trimmed()))
        return QStringLiteral("%1: the module's step is 1 kHz (0.001 MHz); give at most three "
                              "decimals.")
            .arg(Frames::fieldName(field));
    return Frames::refusal(field);
}

QString Profile::nearestKey(const QString &key, const QStringList &keys)
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

QString Profile::writeCommand(const Frames::Settings &settings, const QString &port)
{
    QStringList words{QStringLiteral("radioconf-cli"), QStringLiteral("write")};
    if (!port.isEmpty())
        words << QStringLiteral("--port") << shellWord(port);
    for (Field field : Frames::ALL_FIELDS)
        words << QString::fromLatin1(Frames::fieldInfo(field).option)
              << shellWord(Frames::valueText(field, settings.value(field)));
    return words.join(QLatin1Char(' '));
}
