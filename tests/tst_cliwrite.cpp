// radioconf-cli end to end, writes: the exact frame the module receives after
// the read, what the tool prints afterwards, and a module that does not take
// the values.
#include "clirunner.h"

class TestCliWrite : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void write_data()
    {
        QTest::addColumn<QString>("behaviour");
        QTest::addColumn<QStringList>("cli");
        QTest::addColumn<QString>("values");         // bytes 7 to 15 of the write request
        QTest::addColumn<QJsonObject>("reported");   // changes to the module's first values
        QTest::addColumn<QStringList>("mismatches"); // named when the values were not taken

        QTest::newRow("one field")
            << "normal" << QStringList{"--rate", "9.11K"} << "0df638 00 04 07 03 00 05"
            << QJsonObject{{"rate", "9.11K"}} << QStringList();
        // Another module's set-up as read --json printed it; an option wins over the file.
        QJsonObject cloned{{"frequency", 433.92}, {"group", 9},     {"rate", "18.23K"},
                           {"power", "3"},        {"baud", "2400"}, {"parity", "Odd"},
                           {"wakeup", "200ms"}};
        QFile file(dir.filePath("module.json"));
        QVERIFY(file.open(QIODevice::WriteOnly) &&
                file.write(QJsonDocument(moduleJson("ttyUSB7", cloned)).toJson()) > 0);
        cloned["group"] = 3;
        QTest::newRow("clone with --from")
            << "normal" << QStringList{"--from", file.fileName(), "--group", "3"}
            << "069f00 03 05 03 01 01 02" << cloned << QStringList();
        QTest::newRow("module ignores writes")
            << "ignore-writes" << QStringList{"--rate", "9.11K", "--group", "7"}
            << "0df638 07 04 07 03 00 05" << QJsonObject()
            << QStringList{cliPort() + ": the module reports other values than written",
                           "Group ID: wanted 7, got 0", "RF TRx rate: wanted 9.11K, got 4.56K"};
    }

    void write()
    {
        QFETCH(QString, behaviour);
        QFETCH(QStringList, cli);
        QFETCH(QString, values);
        QFETCH(QJsonObject, reported);
        QFETCH(QStringList, mismatches);
        const QString port = cliPort();
        const CliRun run = runCli({"--port", port, "--behaviour", behaviour},
                                  QStringList{"write", "--json"} + cli);
        QVERIFY2(run.exitCode == (mismatches.isEmpty() ? 0 : 6), run.describe());
        QCOMPARE(run.requests, (QStringList{port + ' ' + ReadRequest,
                                            port + ' ' + WriteHeader + values.remove(' ')}));
        // What the module reports is printed even when it differs; the failure is one line.
        QCOMPARE(QJsonDocument::fromJson(run.out).object(), moduleJson(port, reported));
        const QByteArray last = run.err.trimmed().split('\n').last();
        for (const QString &text : mismatches)
            QVERIFY2(last.contains(text.toLatin1()), run.err);
        QVERIFY2(!last.contains("RF frequency"), run.err);
    }
};

QTEST_GUILESS_MAIN(TestCliWrite)
#include "tst_cliwrite.moc"
