#include "cli/cliformat.h"

#include <QJsonDocument>
#include <QtTest>

using namespace CliFormat;
using Frames::Field;

Q_DECLARE_METATYPE(Frames::Field)
Q_DECLARE_METATYPE(Frames::Settings)

namespace {

Frames::Settings settings(quint32 kHz, int group, int trx, int power, int baud, int parity,
                          int wakeup)
{
    Frames::Settings s;
    s.frequencyKHz = kHz;
    s.groupId = group;
    s.trxRate = trx;
    s.power = power;
    s.baudRate = baud;
    s.parity = parity;
    s.wakeupTime = wakeup;
    return s;
}

Frames::Parameters parameters(const Frames::Settings &s)
{
    Frames::Parameters p;
    p.model = QStringLiteral("SIM1");
    p.version = QStringLiteral("1.0.000");
    p.mac = QStringLiteral("0102030405060708");
    p.settings = s;
    return p;
}

} // namespace

class TestCliFormat : public QObject
{
    Q_OBJECT
private slots:
    void parseValue_data();
    void parseValue();
    void refusalNamesFieldAndAccepted();
    void jsonRoundTrip_data();
    void jsonRoundTrip();
    void changesFromJson_data();
    void changesFromJson();
    void differencesNameWantedAndGot();
    void parametersTextAligned();
    void portsTextAndJson();
};

void TestCliFormat::parseValue_data()
{
    QTest::addColumn<Field>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected"); // -1: refused

    QTest::newRow("freq 868.1") << Frames::Frequency << "868.1" << 868100;
    // Rounded to the kHz: the product is 512001.99999999994 in binary.
    QTest::newRow("freq 512.002") << Frames::Frequency << "512.002" << 512002;
    QTest::newRow("freq spaces") << Frames::Frequency << " 915 " << 915000;
    QTest::newRow("freq max") << Frames::Frequency << "16777.215" << 16777215;
    QTest::newRow("freq too big") << Frames::Frequency << "16777.216" << -1;
    QTest::newRow("freq zero") << Frames::Frequency << "0" << -1;
    QTest::newRow("freq negative") << Frames::Frequency << "-1" << -1;
    QTest::newRow("freq comma") << Frames::Frequency << "868,1" << -1;
    QTest::newRow("freq empty") << Frames::Frequency << "" << -1;
    QTest::newRow("group 255") << Frames::GroupId << "255" << 255;
    QTest::newRow("group 256") << Frames::GroupId << "256" << -1;
    QTest::newRow("group -1") << Frames::GroupId << "-1" << -1;
    QTest::newRow("group 1.5") << Frames::GroupId << "1.5" << -1;
    QTest::newRow("rate lower case") << Frames::TrxRate << "4.56k" << 3;
    QTest::newRow("rate unknown") << Frames::TrxRate << "5K" << -1;
    QTest::newRow("power number") << Frames::Power << "7" << 7;
    QTest::newRow("power item") << Frames::Power << "7(max)" << 7;
    QTest::newRow("power 0") << Frames::Power << "0" << 0;
    QTest::newRow("power 8") << Frames::Power << "8" << -1;
    QTest::newRow("baud") << Frames::BaudRate << "57600" << 6;
    QTest::newRow("baud unknown") << Frames::BaudRate << "115200" << -1;
    QTest::newRow("parity none") << Frames::Parity << "none" << 0;
    QTest::newRow("parity EVEN") << Frames::Parity << "EVEN" << 2;
    QTest::newRow("parity mark") << Frames::Parity << "mark" << -1;
    QTest::newRow("wakeup 1.5s") << Frames::WakeupTime << "1.5s" << 6;
    QTest::newRow("wakeup 50ms") << Frames::WakeupTime << "50ms" << 0;
    QTest::newRow("wakeup 7s") << Frames::WakeupTime << "7s" << -1;
}

void TestCliFormat::parseValue()
{
    QFETCH(Field, field);
    QFETCH(QString, text);
    QFETCH(int, expected);
    const std::optional<int> value = CliFormat::parseValue(field, text);
    QCOMPARE(value.value_or(-1), expected);
}

void TestCliFormat::refusalNamesFieldAndAccepted()
{
    for (Field field : Frames::ALL_FIELDS) {
        const QString text = refusal(field);
        QVERIFY2(text.startsWith(Frames::fieldName(field)), qPrintable(text));
        for (const QString &item : Frames::itemTexts(field))
            QVERIFY2(text.contains(item), qPrintable(text));
    }
    QVERIFY(refusal(Frames::Frequency).contains("16777.215"));
    QVERIFY(refusal(Frames::GroupId).contains("255"));
}

void TestCliFormat::jsonRoundTrip_data()
{
    QTest::addColumn<Frames::Settings>("written");

    QTest::newRow("defaults") << Frames::Settings();
    QTest::newRow("868.1") << settings(868100, 5, 3, 7, 3, 0, 5);
    QTest::newRow("512.002") << settings(512002, 255, 0, 0, 0, 2, 11);
    QTest::newRow("1 kHz") << settings(1, 1, 5, 1, 6, 1, 0);
    QTest::newRow("max kHz") << settings(16777215, 128, 2, 6, 4, 2, 6);
    QTest::newRow("433.92") << settings(433920, 9, 1, 3, 2, 1, 7);
}

// What read --json prints, write --from must read back as the same settings,
// onto a module whose values all differ.
void TestCliFormat::jsonRoundTrip()
{
    QFETCH(Frames::Settings, written);
    const QByteArray file = QJsonDocument(parametersJson("ttyUSB0", parameters(written)))
                                .toJson(QJsonDocument::Indented);
    QString error;
    const std::optional<Changes> changes = CliFormat::changesFromJson(file, &error);
    QVERIFY2(changes, qPrintable(error));
    QCOMPARE(changes->size(), 7);
    const Frames::Settings other = settings(100000, 77, 4, 2, 5, 1, 10);
    QCOMPARE(applyChanges(other, *changes), written);
}

void TestCliFormat::changesFromJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");           // part of the reason; empty: accepted
    QTest::addColumn<Frames::Settings>("result"); // applied to the defaults

    const Frames::Settings defaults;
    QTest::newRow("not json") << QByteArray("{\"rate\":") << "not JSON" << defaults;
    QTest::newRow("array") << QByteArray("[]") << "not a JSON object" << defaults;
    QTest::newRow("bad rate") << QByteArray(R"({"rate":"5K"})") << "\"rate\": RF TRx rate"
                              << defaults;
    QTest::newRow("fractional group")
        << QByteArray(R"({"group":2.5})") << "\"group\": Group ID" << defaults;
    QTest::newRow("group as text out of range")
        << QByteArray(R"({"group":"300"})") << "\"group\"" << defaults;
    QTest::newRow("frequency text")
        << QByteArray(R"({"frequency":"abc"})") << "\"frequency\"" << defaults;
    QTest::newRow("frequency too big")
        << QByteArray(R"({"frequency":16777.216})") << "\"frequency\"" << defaults;
    QTest::newRow("boolean") << QByteArray(R"({"parity":true})") << "\"parity\"" << defaults;

    Frames::Settings numbers = defaults;
    numbers.frequencyKHz = 868100;
    numbers.power = 3;
    numbers.baudRate = 4;
    QTest::newRow("numbers and texts")
        << QByteArray(R"({"frequency":"868.1","power":3,"baud":19200})") << QString() << numbers;
    QTest::newRow("only the read-only keys")
        << QByteArray(R"({"model":"X","version":"2","mac":"00","port":"ttyS0"})") << QString()
        << defaults;
    Frames::Settings odd = defaults;
    odd.parity = 1;
    QTest::newRow("null skipped") << QByteArray(R"({"rate":null,"parity":"Odd"})") << QString()
                                  << odd;
}

void TestCliFormat::changesFromJson()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    QFETCH(Frames::Settings, result);
    QString reason;
    const std::optional<Changes> changes = CliFormat::changesFromJson(json, &reason);
    if (!error.isEmpty()) {
        QVERIFY(!changes);
        QVERIFY2(reason.contains(error), qPrintable(reason));
        return;
    }
    QVERIFY2(changes, qPrintable(reason));
    QCOMPARE(applyChanges(Frames::Settings(), *changes), result);
}

void TestCliFormat::differencesNameWantedAndGot()
{
    const Frames::Settings wanted = settings(868100, 7, 4, 7, 3, 0, 5);
    QCOMPARE(differences(wanted, wanted), QStringList());
    Frames::Settings got = wanted;
    got.groupId = 0;
    got.trxRate = 3;
    got.wakeupTime = -1; // a code that names no item
    got.frequencyKHz = 868101;
    QCOMPARE(differences(wanted, got),
             (QStringList{"RF frequency: wanted 868.1 MHz, got 868.101 MHz",
                          "Group ID: wanted 7, got 0", "RF TRx rate: wanted 9.11K, got 4.56K",
                          "Wakeup Time: wanted 1s, got (code -1)"}));
}

void TestCliFormat::parametersTextAligned()
{
    const QString text = parametersText("ttyUSB0", parameters(settings(512002, 5, 3, 7, 3, 2, 6)));
    const QStringList lines = text.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 11);
    QCOMPARE(lines.at(0), QStringLiteral("Port:         ttyUSB0"));
    QCOMPARE(lines.at(1), QStringLiteral("RF frequency: 512.002 MHz"));
    QCOMPARE(lines.at(6), QStringLiteral("Parity Check: Even"));
    QCOMPARE(lines.at(7), QStringLiteral("Wakeup Time:  1.5s"));
    QCOMPARE(lines.at(10), QStringLiteral("MAC:          0102030405060708"));
    for (const QString &line : lines)
        QCOMPARE(line.indexOf(QRegularExpression(": +\\K\\S")), 14);
}

void TestCliFormat::portsTextAndJson()
{
    PortEntry cypress;
    cypress.name = "ttyUSB10";
    cypress.hasIdentifiers = true;
    cypress.vendorId = 0x04b4;
    cypress.productId = 0x0003;
    cypress.description = "USB-Serial";
    cypress.recognised = true;
    PortEntry builtin;
    builtin.name = "ttyS0";

    QCOMPARE(portsText({cypress, builtin}, false),
             QStringLiteral("ttyUSB10  04B4:0003  USB-Serial\n"));
    QCOMPARE(portsText({cypress, builtin}, true),
             QStringLiteral("* ttyUSB10  04B4:0003  USB-Serial\n"
                            "  ttyS0     ----:----\n"));
    const QJsonArray array = portsJson({cypress, builtin});
    QCOMPARE(array.size(), 2);
    QCOMPARE(array.at(0).toObject().value("vid").toString(), QStringLiteral("04B4"));
    QCOMPARE(array.at(0).toObject().value("pid").toString(), QStringLiteral("0003"));
    QCOMPARE(array.at(0).toObject().value("recognised").toBool(), true);
    QVERIFY(array.at(1).toObject().value("vid").isNull());
    QCOMPARE(array.at(1).toObject().value("recognised").toBool(), false);
}

QTEST_GUILESS_MAIN(TestCliFormat)
#include "tst_cliformat.moc"
