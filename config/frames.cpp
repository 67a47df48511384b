#include "config/frames.h"

#include <QCoreApplication>

#include <cmath>

namespace Frames {

namespace {

// The window's translation context: these texts are the window's texts.
QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

int itemCount(Field field)
{
    const FieldInfo &info = fieldInfo(field);
    return info.items ? info.maximum + 1 : 0;
}

bool accepts(Field field, int value)
{
    const FieldInfo &info = fieldInfo(field);
    return value >= info.minimum && value <= info.maximum;
}

} // namespace

QStringList WriteRequest::messages() const
{
    QStringList texts;
    for (const Problem &p : problems)
        texts << p.message;
    return texts;
}

QString fieldName(Field field)
{
    return tr(fieldInfo(field).label);
}

QString fieldKey(Field field)
{
    return QString::fromLatin1(fieldInfo(field).key);
}

QStringList itemTexts(Field field)
{
    QStringList texts;
    for (int i = 0; i < itemCount(field); ++i)
        texts << tr(fieldInfo(field).items[i]);
    return texts;
}

QString itemText(Field field, int code)
{
    if (code < 0 || code >= itemCount(field))
        return QString();
    return QString::fromLatin1(fieldInfo(field).items[code]);
}

int itemIndex(Field field, const QString &text)
{
    for (int i = 0; i < itemCount(field); ++i) {
        const QLatin1String item(fieldInfo(field).items[i]);
        if (text.compare(item, Qt::CaseInsensitive) == 0)
            return i;
        // "7(Max)" is power 7 to anyone typing a number.
        if (field == Power && text == item.left(1))
            return i;
    }
    return -1;
}

std::optional<quint32> parseFrequency(const QString &megahertz)
{
    bool ok = false;
    const double value = megahertz.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    // Rounded, not truncated: 512.002 * 1000 is 512001.99999999994 in binary64.
    // The bounds are those that round into 1..MAX; NaN fails both.
    const double product = value * 1000.0;
    if (!(product >= 0.5 && product < double(MAX_FREQUENCY_KHZ) + 0.5))
        return std::nullopt;
    return quint32(std::llround(product));
}

QString frequencyText(quint32 kHz)
{
    QString text = QString::number(kHz / 1000);
    const quint32 fraction = kHz % 1000;
    if (fraction != 0) {
        QString decimals = QStringLiteral("%1").arg(fraction, 3, 10, QLatin1Char('0'));
        while (decimals.endsWith(QLatin1Char('0')))
            decimals.chop(1);
        text += QLatin1Char('.') + decimals;
    }
    return text;
}

std::optional<int> parseGroupId(const QString &text)
{
    return parseText(GroupId, text);
}

std::optional<int> parseText(Field field, const QString &text)
{
    std::optional<int> value;
    switch (fieldInfo(field).kind) {
    case FieldKind::Frequency:
        if (const std::optional<quint32> kHz = parseFrequency(text))
            value = int(*kHz);
        break;
    case FieldKind::Number: {
        bool ok = false;
        value = text.toInt(&ok, 10);
        if (!ok)
            return std::nullopt;
        break;
    }
    case FieldKind::List:
        value = itemIndex(field, text);
        break;
    }
    if (!value || !accepts(field, *value))
        return std::nullopt;
    return value;
}

QString valueText(Field field, int value)
{
    switch (fieldInfo(field).kind) {
    case FieldKind::Frequency:
        return frequencyText(quint32(value));
    case FieldKind::Number:
        return QString::number(value);
    case FieldKind::List:
        break;
    }
    return itemText(field, value);
}

QString refusal(Field field)
{
    const FieldInfo &info = fieldInfo(field);
    switch (info.kind) {
    case FieldKind::Frequency:
        return tr("%1: enter a number of MHz above 0 and at most %2, with a dot as the decimal "
                  "point.")
            .arg(fieldName(field), frequencyText(quint32(info.maximum)));
    case FieldKind::Number:
        return tr("%1: enter a whole number from %2 to %3.")
            .arg(fieldName(field))
            .arg(info.minimum)
            .arg(info.maximum);
    case FieldKind::List:
        break;
    }
    return tr("%1: choose one of %2.").arg(fieldName(field), itemTexts(field).join(", "));
}

QList<Problem> validate(const Settings &settings)
{
    QList<Problem> problems;
    for (Field field : ALL_FIELDS) {
        if (!accepts(field, settings.value(field)))
            problems << Problem{field, refusal(field)};
    }
    return problems;
}

WriteRequest buildWriteRequest(const FormInput &input)
{
    WriteRequest request;
    for (Field field : ALL_FIELDS) {
        // A refused text is kept as a value below the field's limits.
        const int value =
            fieldInfo(field).kind == FieldKind::List
                ? input.codes[field]
                : parseText(field, input.texts[field]).value_or(fieldInfo(field).minimum - 1);
        request.settings.setValue(field, value);
    }
    request.problems = validate(request.settings);
    request.frame = encodeWriteRequest(request.settings);
    return request;
}

QByteArray encodeWriteRequest(const Settings &settings)
{
    if (!validate(settings).isEmpty())
        return QByteArray();
    QByteArray frame = WRITE_REQUEST_HEADER;
    frame.reserve(WRITE_REQUEST_LENGTH);
    // Frequency before group here; the reply has them the other way round.
    frame.append(char((settings.frequencyKHz >> 16) & 0xff));
    frame.append(char((settings.frequencyKHz >> 8) & 0xff));
    frame.append(char(settings.frequencyKHz & 0xff));
    frame.append(char(settings.groupId));
    for (Field field : LIST_FIELDS)
        frame.append(char(settings.value(field)));
    return frame;
}

std::optional<Parameters> decodeParameterBlock(const QByteArray &configData)
{
    if (configData.size() < PARAMETER_BLOCK_USED_LENGTH)
        return std::nullopt;
    const auto byte = [&configData](int i) { return quint8(configData.at(i)); };

    Parameters p;
    // fromLatin1 with a length keeps 0x00 bytes as characters.
    p.model = QString::fromLatin1(configData.constData() + 1, 4);
    p.version = QString::fromLatin1(configData.constData() + 5, 7);
    p.mac = QString::fromLatin1(configData.mid(12, 8).toHex().toUpper());
    p.settings.groupId = byte(20);
    p.settings.frequencyKHz = byte(21) << 16 | byte(22) << 8 | byte(23);
    // Codes are signed bytes: 0x80..0xff name no item.
    int i = 24;
    for (Field field : LIST_FIELDS)
        p.settings.setValue(field, qint8(byte(i++)));
    return p;
}

} // namespace Frames
