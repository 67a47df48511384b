#include "cli/cliformat.h"
#include "cli/fromfile.h"

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
        const QList<int> found{Profile::parseValue(Frames::Frequency, " 512.002 ").value_or(-1),
                               Profile::parseValue(Frames::Power, "7(max)\n").value_or(-1),
                               Profile::parseValue(Frames::Power, "7").value_or(-1),
                               Profile::parseValue(Frames::Power, "8").value_or(-1),
                               Profile::parseValue(Frames::WakeupTime, "1.5S").value_or(-1),
                               // Finer than the module's kHz: refused, not rounded.
                               Profile::parseValue(Frames::Frequency, "868.0005").value_or(-1),
                               Profile::parseValue(Frames::Frequency, "868.1000").value_or(-1)};
        QCOMPARE(found, (QList<int>{512002, 7, 7, -1, 6, -1, 868100}));
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
            const QByteArray json = QJsonDocument(Profile::json("ttyUSB0", parameters)).toJson();
            const std::optional<FromFile> file = FromFile::parse(json, &reason);
            QVERIFY2(file, qPrintable(reason));
            QCOMPARE(applyChanges({}, file->entries().value(0).changes), written);
        }
    }

    // What --from takes for a port (and its module's MAC): "key=value"
    // pairs, or "!" and the refusal.
    void fromFile_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("taken");
        const QString mac = R"(,"mac":"0102030405060708")";
        QTest::newRow("one object, any port") << "{\n  \"port\": \"ttyUSB9\",\n  \"group\": 5\n}\n"
                                              << "ttyUSB0"
                                              << "group=5";
        QTest::newRow("numbers, texts, null, keys ignored")
            << R"({"frequency":"868.1","power":3,"baud":19200,"rate":null,"model":"X","mac":"00",)"
               R"("version":"1","outcome":"ok","time":"t","result":"skipped","reason":"r"})"
            << "ttyUSB0"
            << "frequency=868100,power=3,baud=4";
        QTest::newRow("lines, by another spelling of the port")
            << "{\"port\":\"ttyUSB1\",\"group\":1}\n\n{\"port\":\"/dev/ttyUSB0\",\"group\":2}\n"
            << "/dev/serial/by-id/usb-x"
            << "group=2";
        QTest::newRow("lines, by MAC")
            << "{\"port\":\"ttyUSB7\",\"group\":1}\n{\"port\":\"ttyUSB8\","
               "\"group\":2" +
                   mac + "}\n"
            << "ttyUSB0"
            << "group=2";
        QTest::newRow("lines, none fits")
            << "{\"port\":\"ttyUSB7\",\"group\":1}\n{\"port\":\"ttyUSB8\",\"group\":2}"
            << "ttyUSB1"
            << "!none of its 2 objects is for ttyUSB1 or MAC 0102030405060708 (it has ports "
               "ttyUSB7, ttyUSB8; MACs none)";
        QTest::newRow("lines, two for the port")
            << "{\"port\":\"ttyUSB0\",\"group\":1}\n{\"port\":\"/dev/ttyUSB0\",\"group\":2}"
            << "ttyUSB0"
            << "!2 objects are for ttyUSB0 (lines 1, 2); keep one";
        QTest::newRow("lines, the port's failed")
            << R"({"error":"no reply","outcome":"no-reply","port":"ttyUSB0"})"
               "\n{\"port\":\"ttyUSB1\",\"group\":1}"
            << "ttyUSB0"
            << "!the object for ttyUSB0 is of a port that failed (no reply); it cannot be taken";
        QTest::newRow("mistyped key") << R"({"group":5,"freqency":433.92})"
                                      << "ttyUSB0"
                                      << "!unknown key \"freqency\" (did you mean \"frequency\"?";
        QTest::newRow("finer than a kHz") << R"({"frequency":868.0005})"
                                          << "ttyUSB0"
                                          << "!\"frequency\": RF frequency: the module's step is "
                                             "1 kHz (0.001 MHz)";
        QTest::newRow("refused value on a line") << "{\"group\":1}\n{\"group\":256}"
                                                 << "ttyUSB0"
                                                 << "!line 2: \"group\": Group ID";
        QTest::newRow("broken line") << "{\"group\":1}\n{\"group\":"
                                     << "ttyUSB0"
                                     << "!line 2: not JSON";
        QTest::newRow("objects over several lines")
            << "{\n\"group\":1\n}\n{\n\"group\":2\n}"
            << "ttyUSB0"
            << "!more than one JSON object, and not one a line";
    }

    void fromFile()
    {
        QFETCH(QString, json);
        QFETCH(QString, port);
        QFETCH(QString, taken);
        // ttyUSB0's node and its by-id link are one device.
        const QMap<QString, QString> devices{{"ttyUSB0", "char 188:0"},
                                             {"/dev/ttyUSB0", "char 188:0"},
                                             {"/dev/serial/by-id/usb-x", "char 188:0"},
                                             {"ttyUSB1", "char 188:1"}};
        QString why;
        const std::optional<FromFile> file = FromFile::parse(json.toUtf8(), &why);
        const std::optional<Changes> changes =
            file ? file->select(port, "01:02:03:04:05:06:07:08", devices, &why) : std::nullopt;
        QStringList pairs;
        for (auto it = changes.value_or(Changes()).cbegin(); changes && it != changes->cend(); ++it)
            pairs << Frames::fieldKey(it.key()) + "=" + QString::number(it.value());
        const QString result = changes ? pairs.join(',') : "!" + why;
        QVERIFY2(taken.startsWith('!') ? result.startsWith(taken) : result == taken,
                 qPrintable(result));
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
