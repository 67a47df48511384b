#include "cli/cliformat.h"

#include <QtTest>

using namespace CliFormat;
using Frames::Settings;

class TestCliFormat : public QObject
{
    Q_OBJECT
private slots:
    void parseValue()
    {
        // The checks are the window's (tst_frames); here the tool's side:
        // texts as typed on a command line, spaces around them included, and
        // items by a short name.
        const QList<int> found{CliFormat::parseValue(Frames::Frequency, " 512.002 ").value_or(-1),
                               CliFormat::parseValue(Frames::Power, "7(max)\n").value_or(-1),
                               CliFormat::parseValue(Frames::Power, "7").value_or(-1),
                               CliFormat::parseValue(Frames::Power, "8").value_or(-1),
                               CliFormat::parseValue(Frames::WakeupTime, "1.5S").value_or(-1)};
        QCOMPARE(found, (QList<int>{512002, 7, 7, -1, 6}));
    }

    void jsonFiles()
    {
        // What read --json prints, write --from reads back as the same
        // settings (each differs from the defaults).
        QString reason;
        for (const Settings &written :
             {Settings{512002, 255, 0, 0, 0, 2, 11}, Settings{16777215, 128, 2, 6, 4, 2, 6}}) {
            Frames::Parameters parameters;
            parameters.settings = written;
            const QByteArray json = QJsonDocument(parametersJson("ttyUSB0", parameters)).toJson();
            QCOMPARE(applyChanges({}, changesFromJson(json, &reason).value_or(Changes())), written);
        }
        // Numbers, texts, null and read-only keys.
        const QByteArray json = "{\"frequency\":\"868.1\",\"power\":3,\"baud\":19200,\"rate\":null,"
                                "\"model\":\"X\",\"mac\":\"00\",\"port\":\"ttyS0\"}";
        QCOMPARE(applyChanges({}, changesFromJson(json, &reason).value_or(Changes())),
                 (Settings{868100, 0, 3, 3, 4, 0, 5}));
        for (const QString refused : {"{\"rate\":|not JSON", "{\"group\":2.5}|\"group\": Group ID",
                                      "{\"parity\":true}|\"parity\""})
            QVERIFY2(!changesFromJson(refused.section('|', 0, 0).toUtf8(), &reason) &&
                         reason.contains(refused.section('|', 1)),
                     qPrintable(refused + ": " + reason));
    }

    void differencesNameWantedAndGot()
    {
        const Settings wanted{868100, 7, 4, 7, 3, 0, 5};
        // A code that names no item is shown as such.
        QCOMPARE(differences(wanted, Settings{868101, 0, 3, 7, 3, 0, -1}),
                 (QStringList{"RF frequency: wanted 868.1 MHz, got 868.101 MHz",
                              "Group ID: wanted 7, got 0", "RF TRx rate: wanted 9.11K, got 4.56K",
                              "Wakeup Time: wanted 1s, got (code -1)"}));
    }
};

QTEST_GUILESS_MAIN(TestCliFormat)
#include "tst_cliformat.moc"
