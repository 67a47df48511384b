// radioconf-cli end to end on a line of adapters: several ports at once, and
// the provisioning station with its table, its watching and its end.
#include "clirunner.h"

#include "cli/provisiontable.h"

#include <csignal>

namespace {

// The JSON lines of out, by port; a port given twice keeps its last.
QMap<QString, QJsonObject> objectsByPort(const QByteArray &out)
{
    QMap<QString, QJsonObject> objects;
    for (const QByteArray &line : out.split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (!object.isEmpty())
            objects[object.value("port").toString()] = object;
    }
    return objects;
}

// The write request a simulated module receives for its first values with
// the frequency and group given (hex).
QString writeFor(const QString &port, const QString &kHz, const QString &group)
{
    return port + ' ' + WriteHeader + kHz + group + "0307030005";
}

} // namespace

class TestCliProvision : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    const QString a = cliPort(0), b = cliPort(1), c = cliPort(2), d = cliPort(3);

    QString file(const QString &name, const QByteArray &contents)
    {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(contents) != contents.size())
            return QString();
        return f.fileName();
    }

private slots:
    // Three modules at once, the third silent: the others succeed, it times
    // out, and the exit code is that of the time-out.
    void severalPorts_data()
    {
        QTest::addColumn<QStringList>("cli");
        QTest::newRow("read --all") << QStringList{"read", "--all"};
        QTest::newRow("write --port thrice --json") << QStringList{
            "write", "--group", "5", "--json", "--port", a, "--port", b, "--port", c};
    }

    void severalPorts()
    {
        QFETCH(QStringList, cli);
        const bool write = cli.first() == "write";
        const CliRun run = runCli({"--port", a, "--port", b, "--port", c + ":silent"}, cli);
        QVERIFY2(run.exitCode == 4, run.describe());
        QStringList requests{a + ' ' + ReadRequest, b + ' ' + ReadRequest, c + ' ' + ReadRequest,
                             c + ' ' + ReadRequest};
        if (write) {
            const QMap<QString, QJsonObject> objects = objectsByPort(run.out);
            for (const QString &port : {a, b}) {
                QCOMPARE(objects.value(port), moduleJson(port, {{"group", 5}, {"outcome", "ok"}}));
                requests << writeFor(port, "0df638", "05");
            }
            QCOMPARE(objects.value(c).value("outcome"), "no-reply");
        } else {
            for (const QString &port : {a, b})
                QVERIFY2(run.out.contains((port + ": MAC:          " + macOf(port)).toLatin1()),
                         run.describe());
            QVERIFY2(!run.out.contains(c.toLatin1()), run.out);
        }
        QVERIFY2(run.err.contains((c + ": no reply from the module").toLatin1()), run.err);
        QVERIFY2(run.err.contains(QStringLiteral("2 of 3 modules %1; %2 failed: no reply")
                                      .arg(write ? "written" : "read", c)
                                      .toLatin1()),
                 run.err);
        requests.sort();
        QStringList received = run.requests;
        received.sort();
        QCOMPARE(received, requests);
    }

    // What a table may look like, and how a malformed one is refused.
    void parseTable_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QString>("error"); // empty: the MAC 0102030405060708 gets group 7
        QTest::newRow("spreadsheet export")
            << QByteArray(
                   "\xef\xbb\xbfMAC,Group,frequency\r\n\"01:02:03:04:05:06:07:08\",7,\r\n\r\n")
            << "";
        QTest::newRow("empty") << QByteArray("\n") << "line 1: no header line";
        QTest::newRow("no mac") << QByteArray("group\n7\n")
                                << "line 1: the header names no \"mac\"";
        QTest::newRow("unknown column") << QByteArray("mac,colour\n") << "line 1: unknown column";
        QTest::newRow("column twice")
            << QByteArray("mac,group,Group\n") << "line 1: column \"Group\"";
        QTest::newRow("short row") << QByteArray("\nmac,group\n0102030405060708\n")
                                   << "line 3: 1 cells where the header on line 2 names 2";
        QTest::newRow("bad MAC") << QByteArray("mac\n01020304050607\n") << "line 2: MAC \"0102";
        QTest::newRow("MAC twice") << QByteArray("mac,group\n0102030405060708,1\n"
                                                 "01-02-03-04-05-06-07-08,2\n")
                                   << "line 3: MAC 0102030405060708 already listed on line 2";
    }

    void parseTable()
    {
        QFETCH(QByteArray, csv);
        QFETCH(QString, error);
        QString why;
        const std::optional<ProvisionTable> table = ProvisionTable::parse(csv, &why);
        QCOMPARE(bool(table), error.isEmpty());
        QVERIFY2(error.isEmpty() || why.startsWith(error), qPrintable(why));
        if (table) {
            QCOMPARE(table->row("0102030405060708"), (CliFormat::Changes{{Frames::GroupId, 7}}));
            QVERIFY(!table->row("0102030405060709"));
        }
    }

    // Per-module values by MAC on top of --from; checked in the frames each
    // module receives.
    void table_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("groups"); // written to a, b, c; "" for no write
        // out and err must contain, split at '|'; @a is a's port, @A its MAC.
        QTest::addColumn<QString>("texts");

        const QString table = "mac,group\n@a,5\n\"@b\",6\n";
        QTest::newRow("each module its group")
            << table << QStringList() << 0 << QStringList{"05", "06", "00"}
            << "@a SIM1 @A provisioned: frequency 868.1 MHz, group 5,|3 of 3 modules provisioned";
        QTest::newRow("--only-listed")
            << table << QStringList{"--only-listed"} << 0 << QStringList{"05", "06", ""}
            << "@c SIM1 @C skipped: MAC not in the table|skipped: @c";
        QTest::newRow("malformed table, nothing sent")
            << "mac,group\n@a,5\n@b,256\n"
            << QStringList() << 2 << QStringList{"", "", ""}
            << "--table|line 3: group \"256\" refused";
    }

    void table()
    {
        QFETCH(QString, table);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QStringList, groups);
        QFETCH(QString, texts);
        const QStringList ports{a, b, c};
        QString csv = table, expected = texts;
        for (int i = 0; i < 3; ++i) {
            const QString name = QStringLiteral("@") + QChar('a' + i);
            csv.replace(name, macOf(ports[i]));
            expected.replace(name.toUpper(), macOf(ports[i])).replace(name, ports[i]);
        }
        const QString from = file("from.json", "{\"frequency\": 868.1}");
        const CliRun run = runCli(
            {"--port", a, "--port", b, "--port", c},
            QStringList{"provision", "--table", file("table.csv", csv.toUtf8()), "--from", from} +
                options);
        QVERIFY2(run.exitCode == exitCode, run.describe());
        for (const QString &text : expected.split('|'))
            QVERIFY2((run.out + run.err).contains(text.toLatin1()), run.describe());
        QStringList requests;
        for (int i = 0; i < 3 && exitCode == 0; ++i) {
            requests << ports[i] + ' ' + ReadRequest;
            if (!groups[i].isEmpty())
                requests << writeFor(ports[i], "0d3f04", groups[i]);
        }
        requests.sort();
        QStringList received = run.requests;
        received.sort();
        QCOMPARE(received, requests);
    }

    // The station on watch: adapters plugged and pulled out through
    // radioconf-sim's input, each provisioned once per plug, a silent one
    // failed while the others go on; SIGTERM during an exchange lets it end
    // before the summary.
    void watch()
    {
        const QString log = dir.filePath("station.log");
        const QString pidFile = dir.filePath("pid");
        QProcess sim;
        sim.start(RADIOCONF_SIM,
                  {"--delay", "100", "--port", a, "--port", b + ":silent", "--", "sh", "-c",
                   "echo $$ > \"$0\"; exec \"$@\"", pidFile, RADIOCONF_CLI, "provision", "--watch",
                   "--json", "--log", log, "--from", file("from.json", "{\"group\": 3}")});
        QByteArray out, err;
        const auto seen = [&](const QString &text) {
            out += sim.readAllStandardOutput();
            err += sim.readAllStandardError();
            return err.contains(text.toLatin1());
        };
        const auto results = [&](const QString &port, const QString &result) {
            seen(QString());
            int count = 0;
            for (const QByteArray &line : out.split('\n')) {
                const QJsonObject object = QJsonDocument::fromJson(line).object();
                count += object.value("port") == port && object.value("result") == result;
            }
            return count;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(results(a, "provisioned") == 1, out + err, 30000);
        sim.write(("unplug " + a + "\n").toLatin1());
        QTRY_VERIFY2_WITH_TIMEOUT(seen(a + ": adapter pulled out"), out + err, 30000);
        sim.write(("plug " + a + "\nplug " + c + "\nplug " + d + ":trickle\n").toLatin1());
        QTRY_VERIFY2_WITH_TIMEOUT(seen(d + ": read request sent"), out + err, 30000);
        QFile pid(pidFile);
        QVERIFY(pid.open(QIODevice::ReadOnly));
        QCOMPARE(::kill(pid.readAll().trimmed().toInt(), SIGTERM), 0);
        QVERIFY(sim.waitForFinished(60000));
        QVERIFY2(sim.exitCode() == 4, out + err);
        QCOMPARE((QList<int>{results(a, "provisioned"), results(b, "failed"),
                             results(c, "provisioned"), results(d, "provisioned")}),
                 (QList<int>{2, 1, 1, 1}));
        QVERIFY2(
            err.contains(("4 of 5 modules provisioned; " + b + " failed: no reply").toLatin1()),
            err);
        QFile logged(log);
        QVERIFY(logged.open(QIODevice::ReadOnly));
        QCOMPARE(logged.readAll(), out);
    }
};

QTEST_GUILESS_MAIN(TestCliProvision)
#include "tst_cliprovision.moc"
