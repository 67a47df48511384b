#include "cli/cliformat.h"

#include <QtTest>

using namespace CliFormat;
using Frames::Settings;

Q_DECLARE_METATYPE(Frames::Field)
Q_DECLARE_METATYPE(Frames::Settings)

class TestCliFormat : public QObject
{
    Q_OBJECT
private slots:
    void parseValue()
    {
        // The checks are the window's (tst_frames); here the tool's side:
        // texts as typed on a command line, spaces around them included.
        const QList<int> found{CliFormat::parseValue(Frames::Frequency, " 512.002 ").value_or(-1),
                               CliFormat::parseValue(Frames::GroupId, "1.5").value_or(-1),
                               CliFormat::parseValue(Frames::Power, "7(max)\n").value_or(-1),
                               CliFormat::parseValue(Frames::WakeupTime, "1.5s").value_or(-1)};
        QCOMPARE(found, (QList<int>{512002, -1, 7, 6}));
    }

    void changesFromJson_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");   // part of the reason; empty: accepted
        QTest::addColumn<Settings>("result"); // applied to the defaults

        // What read --json prints, write --from must read back as the same settings
        // (each differs from the defaults).
        for (const Settings &written :
             {Settings{512002, 255, 0, 0, 0, 2, 11}, Settings{16777215, 128, 2, 6, 4, 2, 6}}) {
            Frames::Parameters parameters;
            parameters.settings = written;
            QTest::newRow(qPrintable(QString("read --json, %1 kHz").arg(written.frequencyKHz)))
                << QJsonDocument(parametersJson("ttyUSB0", parameters)).toJson() << QString()
                << written;
        }
        QTest::newRow("not json") << QByteArray("{\"rate\":") << "not JSON" << Settings();
        QTest::newRow("fractional group")
            << QByteArray("{\"group\":2.5}") << "\"group\": Group ID" << Settings();
        QTest::newRow("boolean") << QByteArray("{\"parity\":true}") << "\"parity\"" << Settings();
        QTest::newRow("numbers, texts, null and read-only keys")
            << QByteArray("{\"frequency\":\"868.1\",\"power\":3,\"baud\":19200,\"rate\":null,"
                          "\"model\":\"X\",\"mac\":\"00\",\"port\":\"ttyS0\"}")
            << QString() << Settings{868100, 0, 3, 3, 4, 0, 5};
    }

    void changesFromJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        QFETCH(Settings, result);
        QString reason;
        const auto changes = CliFormat::changesFromJson(json, &reason);
        QVERIFY2(bool(changes) == error.isEmpty() && reason.contains(error), qPrintable(reason));
        if (changes)
            QCOMPARE(applyChanges(Settings(), *changes), result);
    }

    void differencesNameWantedAndGot()
    {
        const Settings wanted{868100, 7, 4, 7, 3, 0, 5};
        QCOMPARE(differences(wanted, wanted), QStringList());
        // A code that names no item is shown as such.
        QCOMPARE(differences(wanted, Settings{868101, 0, 3, 7, 3, 0, -1}),
                 (QStringList{"RF frequency: wanted 868.1 MHz, got 868.101 MHz",
                              "Group ID: wanted 7, got 0", "RF TRx rate: wanted 9.11K, got 4.56K",
                              "Wakeup Time: wanted 1s, got (code -1)"}));
    }
};

QTEST_GUILESS_MAIN(TestCliFormat)
#include "tst_cliformat.moc"
