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

struct ListTable
{
    Field field;
    const char *const *items;
    int count;
};

// Index order is the code the module knows; never reorder.
const char *const TRX_RATE_ITEMS[] = {
    QT_TRANSLATE_NOOP("MainWindow", "0.81K"), QT_TRANSLATE_NOOP("MainWindow", "1.46K"),
    QT_TRANSLATE_NOOP("MainWindow", "2.6K"),  QT_TRANSLATE_NOOP("MainWindow", "4.56K"),
    QT_TRANSLATE_NOOP("MainWindow", "9.11K"), QT_TRANSLATE_NOOP("MainWindow", "18.23K")};
const char *const POWER_ITEMS[] = {
    QT_TRANSLATE_NOOP("MainWindow", "0"), QT_TRANSLATE_NOOP("MainWindow", "1"),
    QT_TRANSLATE_NOOP("MainWindow", "2"), QT_TRANSLATE_NOOP("MainWindow", "3"),
    QT_TRANSLATE_NOOP("MainWindow", "4"), QT_TRANSLATE_NOOP("MainWindow", "5"),
    QT_TRANSLATE_NOOP("MainWindow", "6"), QT_TRANSLATE_NOOP("MainWindow", "7(Max)")};
const char *const BAUD_RATE_ITEMS[] = {
    QT_TRANSLATE_NOOP("MainWindow", "1200"),  QT_TRANSLATE_NOOP("MainWindow", "2400"),
    QT_TRANSLATE_NOOP("MainWindow", "4800"),  QT_TRANSLATE_NOOP("MainWindow", "9600"),
    QT_TRANSLATE_NOOP("MainWindow", "19200"), QT_TRANSLATE_NOOP("MainWindow", "38400"),
    QT_TRANSLATE_NOOP("MainWindow", "57600")};
const char *const PARITY_ITEMS[] = {QT_TRANSLATE_NOOP("MainWindow", "None"),
                                    QT_TRANSLATE_NOOP("MainWindow", "Odd"),
                                    QT_TRANSLATE_NOOP("MainWindow", "Even")};
const char *const WAKEUP_TIME_ITEMS[] = {
    QT_TRANSLATE_NOOP("MainWindow", "50ms"),  QT_TRANSLATE_NOOP("MainWindow", "100ms"),
    QT_TRANSLATE_NOOP("MainWindow", "200ms"), QT_TRANSLATE_NOOP("MainWindow", "400ms"),
    QT_TRANSLATE_NOOP("MainWindow", "600ms"), QT_TRANSLATE_NOOP("MainWindow", "1s"),
    QT_TRANSLATE_NOOP("MainWindow", "1.5s"),  QT_TRANSLATE_NOOP("MainWindow", "2s"),
    QT_TRANSLATE_NOOP("MainWindow", "2.5s"),  QT_TRANSLATE_NOOP("MainWindow", "3s"),
    QT_TRANSLATE_NOOP("MainWindow", "4s"),    QT_TRANSLATE_NOOP("MainWindow", "5s")};

template <int N> constexpr ListTable table(Field field, const char *const (&items)[N])
{
    return {field, items, N};
}

const ListTable LISTS[] = {table(TrxRate, TRX_RATE_ITEMS), table(Power, POWER_ITEMS),
                           table(BaudRate, BAUD_RATE_ITEMS), table(Parity, PARITY_ITEMS),
                           table(WakeupTime, WAKEUP_TIME_ITEMS)};

const ListTable *listTable(Field field)
{
    for (const ListTable &list : LISTS) {
        if (list.field == field)
            return &list;
    }
    return nullptr;
}

bool namesItem(Field field, int code)
{
    const ListTable *list = listTable(field);
    return list && code >= 0 && code < list->count;
}

Problem problem(Field field)
{
    switch (field) {
    case Frequency:
        return {field, tr("RF frequency: enter a number of MHz above 0 and at most 16777.215, "
                          "with a dot as the decimal point.")};
    case GroupId:
        return {field, tr("Group ID: enter a whole number from 0 to 255.")};
    default:
        return {field,
                tr("%1: choose one of %2.").arg(fieldName(field), itemTexts(field).join(", "))};
    }
}

} // namespace

int Settings::code(Field field) const
{
    switch (field) {
    case TrxRate:
        return trxRate;
    case Power:
        return power;
    case BaudRate:
        return baudRate;
    case Parity:
        return parity;
    case WakeupTime:
        return wakeupTime;
    default:
        return -1;
    }
}

void Settings::setCode(Field field, int code)
{
    switch (field) {
    case TrxRate:
        trxRate = code;
        break;
    case Power:
        power = code;
        break;
    case BaudRate:
        baudRate = code;
        break;
    case Parity:
        parity = code;
        break;
    case WakeupTime:
        wakeupTime = code;
        break;
    default:
        break;
    }
}

bool Settings::operator==(const Settings &other) const
{
    return frequencyKHz == other.frequencyKHz && groupId == other.groupId &&
           trxRate == other.trxRate && power == other.power && baudRate == other.baudRate &&
           parity == other.parity && wakeupTime == other.wakeupTime;
}

QStringList WriteRequest::messages() const
{
    QStringList texts;
    for (const Problem &p : problems)
        texts << p.message;
    return texts;
}

QString fieldName(Field field)
{
    switch (field) {
    case Frequency:
        return tr("RF frequency");
    case GroupId:
        return tr("Group ID");
    case TrxRate:
        return tr("RF TRx rate");
    case Power:
        return tr("RF Power");
    case BaudRate:
        return tr("Baudrate");
    case Parity:
        return tr("Parity Check");
    case WakeupTime:
        return tr("Wakeup Time");
    }
    return QString();
}

QString fieldKey(Field field)
{
    switch (field) {
    case Frequency:
        return QStringLiteral("frequency");
    case GroupId:
        return QStringLiteral("group");
    case TrxRate:
        return QStringLiteral("rate");
    case Power:
        return QStringLiteral("power");
    case BaudRate:
        return QStringLiteral("baud");
    case Parity:
        return QStringLiteral("parity");
    case WakeupTime:
        return QStringLiteral("wakeup");
    }
    return QString();
}

QStringList itemTexts(Field field)
{
    QStringList texts;
    if (const ListTable *list = listTable(field)) {
        for (int i = 0; i < list->count; ++i)
            texts << tr(list->items[i]);
    }
    return texts;
}

QString itemText(Field field, int code)
{
    if (!namesItem(field, code))
        return QString();
    return QString::fromLatin1(listTable(field)->items[code]);
}

int itemIndex(Field field, const QString &text)
{
    const ListTable *list = listTable(field);
    if (!list)
        return -1;
    for (int i = 0; i < list->count; ++i) {
        const QLatin1String item(list->items[i]);
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
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < 0 || value > 255)
        return std::nullopt;
    return value;
}

QList<Problem> validate(const Settings &settings)
{
    QList<Problem> problems;
    if (settings.frequencyKHz < 1 || settings.frequencyKHz > MAX_FREQUENCY_KHZ)
        problems << problem(Frequency);
    if (settings.groupId < 0 || settings.groupId > 255)
        problems << problem(GroupId);
    for (Field field : LIST_FIELDS) {
        if (!namesItem(field, settings.code(field)))
            problems << problem(field);
    }
    return problems;
}

WriteRequest buildWriteRequest(const FormInput &input)
{
    WriteRequest request;
    Settings &s = request.settings;
    const std::optional<quint32> kHz = parseFrequency(input.frequency);
    s.frequencyKHz = kHz.value_or(0);
    const std::optional<int> group = parseGroupId(input.groupId);
    s.groupId = group.value_or(-1);
    s.trxRate = input.trxRate;
    s.power = input.power;
    s.baudRate = input.baudRate;
    s.parity = input.parity;
    s.wakeupTime = input.wakeupTime;
    request.problems = validate(s);
    request.frame = encodeWriteRequest(s);
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
        frame.append(char(settings.code(field)));
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
    p.settings.frequencyKHz = quint32(byte(21)) << 16 | quint32(byte(22)) << 8 | byte(23);
    // Codes are signed bytes: 0x80..0xff name no item.
    int i = 24;
    for (Field field : LIST_FIELDS)
        p.settings.setCode(field, qint8(byte(i++)));
    return p;
}

} // namespace Frames
