#include "config/frames.h"

#include <QTranslator>
#include <QtTest>

#include <memory>

using namespace Frames;

Q_DECLARE_METATYPE(Frames::Field)
Q_DECLARE_METATYPE(Frames::Settings)
Q_DECLARE_METATYPE(QList<Frames::Field>)

namespace {

Settings codes(int trx, int power, int baud, int parity, int wakeup)
{
    Settings s;
    s.trxRate = trx;
    s.power = power;
    s.baudRate = baud;
    s.parity = parity;
    s.wakeupTime = wakeup;
    return s;
}

// A reply copied into a heap block of its exact size, so that reading past
// its end is caught by AddressSanitizer instead of landing in QByteArray's
// spare capacity.
struct ExactBlock
{
    explicit ExactBlock(const QByteArray &bytes) : storage(new char[size_t(qMax(1, bytes.size()))])
    {
        memcpy(storage.get(), bytes.constData(), size_t(bytes.size()));
        data = QByteArray::fromRawData(storage.get(), bytes.size());
    }
    std::unique_ptr<char[]> storage;
    QByteArray data;
};

// Marks every text of the window's context, to show which ones pass it.
class MarkingTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        if (qstrcmp(context, "MainWindow") != 0)
            return QString();
        return QStringLiteral("<") + QString::fromUtf8(source) + QStringLiteral(">");
    }
};

const QByteArray COMPLETE_REPLY = QByteArray::fromHex(
    "24 41 42 43 44 31 2e 30 2e 30 30 31 00 1a 2b 3c 4d 5e 6f 70 05 0d 3f 04 03 07 03 00 05 00");

} // namespace

class TestFrames : public QObject
{
    Q_OBJECT
private slots:
    void requestHeaders();
    void listItems_data();
    void listItems();
    void itemLookup_data();
    void itemLookup();
    void writeRequest_data();
    void writeRequest();
    void refusedWrite_data();
    void refusedWrite();
    void undecodableCodesAreNotWrittenBack();
    void decode_data();
    void decode();
    void shortBlocksAreRefused();
    void frequencyDisplay_data();
    void frequencyDisplay();
    void frequencyRoundTrip();
    void textsPassTheWindowsTranslation();
};

void TestFrames::requestHeaders()
{
    QCOMPARE(READ_REQUEST.toHex(' '), QByteArray("ff 4c cf 52 a1 52 f0"));
    QCOMPARE(WRITE_REQUEST_HEADER.toHex(' '), QByteArray("ff 4c cf 52 a1 57 f1"));
    QCOMPARE(encodeWriteRequest(Settings()).left(7), WRITE_REQUEST_HEADER);
}

void TestFrames::listItems_data()
{
    QTest::addColumn<Field>("field");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("defaultCode");
    QTest::newRow("TRx rate") << TrxRate
                              << QStringList{"0.81K", "1.46K", "2.6K", "4.56K", "9.11K", "18.23K"}
                              << 3;
    QTest::newRow("power") << Power << QStringList{"0", "1", "2", "3", "4", "5", "6", "7(Max)"}
                           << 7;
    QTest::newRow("baud rate") << BaudRate << QStringList{"1200",  "2400",  "4800", "9600",
                                                          "19200", "38400", "57600"}
                               << 3;
    QTest::newRow("parity") << Parity << QStringList{"None", "Odd", "Even"} << 0;
    QTest::newRow("wake-up time") << WakeupTime
                                  << QStringList{"50ms", "100ms", "200ms", "400ms", "600ms", "1s",
                                                 "1.5s", "2s",    "2.5s",  "3s",    "4s",    "5s"}
                                  << 5;
}

// The index of an item is what the module receives: the order is protocol.
void TestFrames::listItems()
{
    QFETCH(Field, field);
    QFETCH(QStringList, items);
    QFETCH(int, defaultCode);

    QCOMPARE(itemTexts(field), items);
    QCOMPARE(Settings().code(field), defaultCode);
    for (int i = 0; i < items.size(); ++i) {
        QCOMPARE(itemText(field, i), items.at(i));
        QCOMPARE(itemIndex(field, items.at(i)), i);
    }
    QCOMPARE(itemText(field, -1), QString());
    QCOMPARE(itemText(field, items.size()), QString());
}

void TestFrames::itemLookup_data()
{
    QTest::addColumn<Field>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("code");
    QTest::newRow("rate, other case") << TrxRate << "4.56k" << 3;
    QTest::newRow("rate, bare number") << TrxRate << "4.56" << -1;
    QTest::newRow("power, number alone") << Power << "7" << 7;
    QTest::newRow("power, item text") << Power << "7(max)" << 7;
    QTest::newRow("power, past the list") << Power << "8" << -1;
    QTest::newRow("parity, lower case") << Parity << "even" << 2;
    QTest::newRow("wakeup, 1s") << WakeupTime << "1S" << 5;
    QTest::newRow("wakeup, not an item") << WakeupTime << "1000ms" << -1;
    QTest::newRow("empty") << BaudRate << "" << -1;
    QTest::newRow("frequency is no list") << Frequency << "915" << -1;
}

void TestFrames::itemLookup()
{
    QFETCH(Field, field);
    QFETCH(QString, text);
    QFETCH(int, code);
    QCOMPARE(itemIndex(field, text), code);
}

void TestFrames::writeRequest_data()
{
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<QString>("group");
    QTest::addColumn<Settings>("lists");
    QTest::addColumn<QByteArray>("frame");

    const Settings defaults;
    QTest::newRow("initial values")
        << "915"
        << "0" << defaults
        << QByteArray::fromHex("ff 4c cf 52 a1 57 f1 0d f6 38 00 03 07 03 00 05");
    QTest::newRow("868.1, group 5")
        << "868.1"
        << "5" << codes(3, 7, 3, 0, 5)
        << QByteArray::fromHex("ff 4c cf 52 a1 57 f1 0d 3f 04 05 03 07 03 00 05");
    // Truncation would send 07 d0 01.
    QTest::newRow("512.002 rounds to nearest")
        << "512.002"
        << "0" << defaults
        << QByteArray::fromHex("ff 4c cf 52 a1 57 f1 07 d0 02 00 03 07 03 00 05");
    QTest::newRow("highest frequency, group 255, last items")
        << "16777.215"
        << "255" << codes(5, 7, 6, 2, 11)
        << QByteArray::fromHex("ff 4c cf 52 a1 57 f1 ff ff ff ff 05 07 06 02 0b");
    QTest::newRow("lowest frequency, first items")
        << "0.001"
        << "0" << codes(0, 0, 0, 0, 0)
        << QByteArray::fromHex("ff 4c cf 52 a1 57 f1 00 00 01 00 00 00 00 00 00");
    QTest::newRow("half a kHz rounds up")
        << "0.0005"
        << "1" << defaults
        << QByteArray::fromHex("ff 4c cf 52 a1 57 f1 00 00 01 01 03 07 03 00 05");
    QTest::newRow("just below the top rounds to it")
        << "16777.2154"
        << "0" << defaults
        << QByteArray::fromHex("ff ff ff 00 03 07 03 00 05").prepend(WRITE_REQUEST_HEADER);
    QTest::newRow("exponent and spaces, as toDouble reads them")
        << " 8.681e2 "
        << "+7" << defaults
        << QByteArray::fromHex("ff 4c cf 52 a1 57 f1 0d 3f 04 07 03 07 03 00 05");
}

void TestFrames::writeRequest()
{
    QFETCH(QString, frequency);
    QFETCH(QString, group);
    QFETCH(Settings, lists);
    QFETCH(QByteArray, frame);

    FormInput input;
    input.frequency = frequency;
    input.groupId = group;
    input.trxRate = lists.trxRate;
    input.power = lists.power;
    input.baudRate = lists.baudRate;
    input.parity = lists.parity;
    input.wakeupTime = lists.wakeupTime;

    const WriteRequest request = buildWriteRequest(input);
    QVERIFY2(request.isValid(), qPrintable(request.messages().join('\n')));
    QCOMPARE(request.frame.toHex(' '), frame.toHex(' '));
    QCOMPARE(request.frame.size(), WRITE_REQUEST_LENGTH);
    QCOMPARE(encodeWriteRequest(request.settings), request.frame);

    // What the module answers with these settings reads back as the same.
    QByteArray reply = COMPLETE_REPLY;
    reply[20] = frame[10];
    reply.replace(21, 3, frame.mid(7, 3));
    reply.replace(24, 5, frame.mid(11, 5));
    const std::optional<Parameters> decoded = decodeParameterBlock(reply);
    QVERIFY(decoded);
    QVERIFY(decoded->settings == request.settings);
}

void TestFrames::refusedWrite_data()
{
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<QString>("group");
    QTest::addColumn<Settings>("lists");
    QTest::addColumn<QList<Field>>("refused");

    const Settings ok;
    const QList<Field> freq{Frequency};
    QTest::newRow("decimal comma") << "868,1"
                                   << "0" << ok << freq;
    QTest::newRow("letters") << "abc"
                             << "0" << ok << freq;
    QTest::newRow("empty frequency") << ""
                                     << "0" << ok << freq;
    QTest::newRow("digit grouping") << "1,000"
                                    << "0" << ok << freq;
    QTest::newRow("zero") << "0"
                          << "0" << ok << freq;
    QTest::newRow("rounds to zero") << "0.0004"
                                    << "0" << ok << freq;
    QTest::newRow("negative") << "-1"
                              << "0" << ok << freq;
    QTest::newRow("one kHz too high") << "16777.216"
                                      << "0" << ok << freq;
    QTest::newRow("rounds past the top") << "16777.2156"
                                         << "0" << ok << freq;
    QTest::newRow("20000") << "20000"
                           << "0" << ok << freq;
    QTest::newRow("infinity") << "inf"
                              << "0" << ok << freq;
    QTest::newRow("not a number") << "nan"
                                  << "0" << ok << freq;
    QTest::newRow("huge") << "1e300"
                          << "0" << ok << freq;

    const QList<Field> group{GroupId};
    QTest::newRow("empty group") << "915"
                                 << "" << ok << group;
    QTest::newRow("group 256") << "915"
                               << "256" << ok << group;
    QTest::newRow("group -1") << "915"
                              << "-1" << ok << group;
    QTest::newRow("group letters") << "915"
                                   << "x" << ok << group;

    QTest::newRow("no TRx rate") << "915"
                                 << "0" << codes(-1, 7, 3, 0, 5) << QList<Field>{TrxRate};
    QTest::newRow("TRx rate 6") << "915"
                                << "0" << codes(6, 7, 3, 0, 5) << QList<Field>{TrxRate};
    QTest::newRow("no power") << "915"
                              << "0" << codes(3, -1, 3, 0, 5) << QList<Field>{Power};
    QTest::newRow("power 8") << "915"
                             << "0" << codes(3, 8, 3, 0, 5) << QList<Field>{Power};
    QTest::newRow("no baud rate") << "915"
                                  << "0" << codes(3, 7, -1, 0, 5) << QList<Field>{BaudRate};
    QTest::newRow("baud rate 7") << "915"
                                 << "0" << codes(3, 7, 7, 0, 5) << QList<Field>{BaudRate};
    QTest::newRow("no parity") << "915"
                               << "0" << codes(3, 7, 3, -1, 5) << QList<Field>{Parity};
    QTest::newRow("parity 3") << "915"
                              << "0" << codes(3, 7, 3, 3, 5) << QList<Field>{Parity};
    QTest::newRow("no wake-up time") << "915"
                                     << "0" << codes(3, 7, 3, 0, -1) << QList<Field>{WakeupTime};
    QTest::newRow("wake-up time 12") << "915"
                                     << "0" << codes(3, 7, 3, 0, 12) << QList<Field>{WakeupTime};
    QTest::newRow("everything at once")
        << "x"
        << "" << codes(-1, -1, -1, -1, -1)
        << QList<Field>{Frequency, GroupId, TrxRate, Power, BaudRate, Parity, WakeupTime};
}

void TestFrames::refusedWrite()
{
    QFETCH(QString, frequency);
    QFETCH(QString, group);
    QFETCH(Settings, lists);
    QFETCH(QList<Field>, refused);

    FormInput input;
    input.frequency = frequency;
    input.groupId = group;
    input.trxRate = lists.trxRate;
    input.power = lists.power;
    input.baudRate = lists.baudRate;
    input.parity = lists.parity;
    input.wakeupTime = lists.wakeupTime;

    const WriteRequest request = buildWriteRequest(input);
    QVERIFY(!request.isValid());
    QVERIFY(request.frame.isEmpty());
    QList<Field> fields;
    for (const Problem &p : request.problems) {
        fields << p.field;
        // Names the field as the form labels it, and says what it accepts.
        QVERIFY2(p.message.startsWith(fieldName(p.field) + ":"), qPrintable(p.message));
        if (p.field == Frequency)
            QVERIFY(p.message.contains("16777.215"));
        else if (p.field == GroupId)
            QVERIFY(p.message.contains("0 to 255"));
        else
            QVERIFY(p.message.contains(itemTexts(p.field).join(", ")));
    }
    QCOMPARE(fields, refused);
    QCOMPARE(request.messages().size(), refused.size());
}

// A reply may leave a list without a current item; writing the form back
// must not send that as 0xff.
void TestFrames::undecodableCodesAreNotWrittenBack()
{
    QByteArray reply = COMPLETE_REPLY;
    reply[24] = char(0xff);
    const std::optional<Parameters> decoded = decodeParameterBlock(reply);
    QVERIFY(decoded);
    QCOMPARE(decoded->settings.trxRate, -1);
    QVERIFY(encodeWriteRequest(decoded->settings).isEmpty());
    const QList<Problem> problems = validate(decoded->settings);
    QCOMPARE(problems.size(), 1);
    QCOMPARE(problems.first().field, TrxRate);

    Settings tooHigh;
    tooHigh.frequencyKHz = MAX_FREQUENCY_KHZ + 1;
    QVERIFY(encodeWriteRequest(tooHigh).isEmpty());
    Settings groupTooHigh;
    groupTooHigh.groupId = 256;
    QVERIFY(encodeWriteRequest(groupTooHigh).isEmpty());
}

void TestFrames::decode_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("mac");
    QTest::addColumn<int>("group");
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<Settings>("lists");

    const Settings lists = codes(3, 7, 3, 0, 5);
    QTest::newRow("complete reply") << COMPLETE_REPLY << "ABCD"
                                    << "1.0.001"
                                    << "001A2B3C4D5E6F70" << 5 << "868.1" << lists;

    QByteArray longer = COMPLETE_REPLY;
    longer.replace(29, 1, QByteArray(11, char(0xee)));
    QCOMPARE(longer.size(), 40);
    QTest::newRow("40 bytes") << longer << "ABCD"
                              << "1.0.001"
                              << "001A2B3C4D5E6F70" << 5 << "868.1" << lists;

    QByteArray latin = COMPLETE_REPLY;
    latin.replace(1, 4, QByteArray::fromHex("e9 00 20 41"));
    latin.replace(5, 7, QByteArray::fromHex("20 31 00 ff 2e 20 20"));
    QTest::newRow("Latin-1, NUL and spaces kept")
        << latin << QString::fromUtf8("\u00e9") + QChar(0) + " A"
        << QString(" 1") + QChar(0) + QString::fromUtf8("\u00ff") + ".  "
        << "001A2B3C4D5E6F70" << 5 << "868.1" << lists;

    const struct
    {
        const char *name;
        const char *bytes;
        const char *text;
    } frequencies[] = {{"00 00 00", "00 00 00", "0"},
                       {"00 00 01", "00 00 01", "0.001"},
                       {"0d f6 38", "0d f6 38", "915"},
                       {"07 d0 02", "07 d0 02", "512.002"},
                       {"ff ff ff", "ff ff ff", "16777.215"}};
    for (const auto &f : frequencies) {
        QByteArray block = COMPLETE_REPLY;
        block.replace(21, 3, QByteArray::fromHex(f.bytes));
        QTest::newRow(f.name) << block << "ABCD"
                              << "1.0.001"
                              << "001A2B3C4D5E6F70" << 5 << f.text << lists;
    }

    QByteArray other = COMPLETE_REPLY;
    other.replace(12, 8, QByteArray::fromHex("ff ee dd cc bb aa 99 88"));
    other[20] = char(0xff);
    other.replace(24, 5, QByteArray::fromHex("06 80 ff 7f 0b"));
    QTest::newRow("group 255, signed codes")
        << other << "ABCD"
        << "1.0.001"
        << "FFEEDDCCBBAA9988" << 255 << "868.1" << codes(6, -128, -1, 127, 11);
}

void TestFrames::decode()
{
    QFETCH(QByteArray, block);
    QFETCH(QString, model);
    QFETCH(QString, version);
    QFETCH(QString, mac);
    QFETCH(int, group);
    QFETCH(QString, frequency);
    QFETCH(Settings, lists);

    const ExactBlock exact(block);
    const std::optional<Parameters> p = decodeParameterBlock(exact.data);
    QVERIFY(p);
    QCOMPARE(p->model, model);
    QCOMPARE(p->version, version);
    QCOMPARE(p->mac, mac);
    QCOMPARE(p->settings.groupId, group);
    QCOMPARE(frequencyText(p->settings.frequencyKHz), frequency);
    for (Field field : LIST_FIELDS)
        QCOMPARE(p->settings.code(field), lists.code(field));
}

void TestFrames::shortBlocksAreRefused()
{
    for (int size = 0; size < PARAMETER_BLOCK_USED_LENGTH; ++size) {
        const ExactBlock exact(COMPLETE_REPLY.left(size));
        QVERIFY2(!decodeParameterBlock(exact.data), qPrintable(QString::number(size)));
    }
    const ExactBlock exact(COMPLETE_REPLY.left(PARAMETER_BLOCK_USED_LENGTH));
    const std::optional<Parameters> p = decodeParameterBlock(exact.data);
    QVERIFY(p);
    QCOMPARE(p->settings.wakeupTime, 5);
    QCOMPARE(p->settings.frequencyKHz, 868100u);
}

void TestFrames::frequencyDisplay_data()
{
    QTest::addColumn<quint32>("kHz");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0u << "0";
    QTest::newRow("1") << 1u << "0.001";
    QTest::newRow("10") << 10u << "0.01";
    QTest::newRow("100") << 100u << "0.1";
    QTest::newRow("1010") << 1010u << "1.01";
    QTest::newRow("915000") << 915000u << "915";
    QTest::newRow("868100") << 868100u << "868.1";
    QTest::newRow("512002") << 512002u << "512.002";
    QTest::newRow("999999") << 999999u << "999.999";
    QTest::newRow("1000000") << 1000000u << "1000";
    QTest::newRow("1000001") << 1000001u << "1000.001";
    QTest::newRow("16777215") << 16777215u << "16777.215";
}

void TestFrames::frequencyDisplay()
{
    QFETCH(quint32, kHz);
    QFETCH(QString, text);
    QCOMPARE(frequencyText(kHz), text);
}

// A value read and written back unchanged must not move the module.
void TestFrames::frequencyRoundTrip()
{
    QVector<quint32> values;
    for (quint32 k = 0; k <= 2000; ++k)
        values << k;
    for (quint32 k = 2001; k < MAX_FREQUENCY_KHZ; k += 997)
        values << k;
    values << 512002 << 999999 << 1000001 << MAX_FREQUENCY_KHZ - 1 << MAX_FREQUENCY_KHZ;

    for (quint32 k : qAsConst(values)) {
        const QString text = frequencyText(k);
        const std::optional<quint32> parsed = parseFrequency(text);
        if (k == 0) {
            QVERIFY(!parsed); // 0 is shown, but not accepted for a write
            continue;
        }
        if (!parsed || *parsed != k)
            QFAIL(qPrintable(QString("%1 -> %2 -> %3").arg(k).arg(text).arg(parsed.value_or(0))));
    }
}

void TestFrames::textsPassTheWindowsTranslation()
{
    MarkingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));

    QCOMPARE(itemTexts(Parity), (QStringList{"<None>", "<Odd>", "<Even>"}));
    QCOMPARE(fieldName(GroupId), QString("<Group ID>"));
    FormInput input;
    input.frequency = "x";
    const WriteRequest request = buildWriteRequest(input);
    QCOMPARE(request.problems.size(), 7);
    for (const Problem &p : request.problems)
        QVERIFY2(p.message.startsWith("<"), qPrintable(p.message));
    // Protocol-stable texts for scripts are not translated.
    QCOMPARE(itemText(Parity, 0), QString("None"));
    QCOMPARE(itemIndex(Parity, "None"), 0);
    QCOMPARE(fieldKey(GroupId), QString("group"));

    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(itemTexts(Parity), (QStringList{"None", "Odd", "Even"}));
}

QTEST_GUILESS_MAIN(TestFrames)
#include "tst_frames.moc"
