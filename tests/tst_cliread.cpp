// radioconf-cli end to end, without writes: listing, reading, choosing the
// port, and every way a command fails before or instead of a write.
#include "clirunner.h"

// A row of the table: sim and cli are split at spaces, err at '|'; "@a" and
// "@b" stand for the two virtual ports.
static void row(const char *name, const QString &sim, const QString &cli, int exitCode,
                const QString &out, const QString &err = QString(), int requests = 0)
{
    const auto fill = [](QString text) {
        return text.replace("@a", cliPort(0)).replace("@b", cliPort(1));
    };
    QTest::newRow(name) << fill(sim).split(' ') << fill(cli).split(' ') << exitCode
                        << fill(out).toLatin1() << fill(err).split('|', Qt::SkipEmptyParts)
                        << requests;
}

class TestCliRead : public QObject
{
    Q_OBJECT
private slots:
    void run_data()
    {
        QTest::addColumn<QStringList>("sim");
        QTest::addColumn<QStringList>("cli");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");  // JSON compared as compact JSON
        QTest::addColumn<QStringList>("err"); // texts stderr must contain
        QTest::addColumn<int>("requests");    // read requests, all identical

        const QString cp2102 = "  10C4:EA60  CP2102 USB to UART Bridge Controller\n";
        row("list", "--port @a", "list", 0, "@a" + cp2102);
        row("list, built-in port hidden", "--adapter builtin --port @a", "list", 0, "");
        row("list --all", "--adapter builtin --port @a", "list --all", 0, "  @a  ----:----\n");
        row("list --port, one missing", "--port @a --port @b", "list --port /dev/@b --port ttyNone",
            3, "* @b" + cp2102, "no such serial port: ttyNone");
        row("list --json", "--adapter cypress --port @a", "list --json", 0,
            "[{\"description\":\"CP2102 USB to UART Bridge Controller\",\"pid\":\"0003\","
            "\"port\":\"@a\",\"recognised\":true,\"vid\":\"04B4\"}]");
        row("read", "--port @a", "read", 0,
            "Port:         @a\nRF frequency: 915 MHz\nGroup ID:     0\nRF TRx rate:  4.56K\n"
            "RF Power:     7(Max)\nBaudrate:     9600\nParity Check: None\nWakeup Time:  1s\n"
            "Model:        SIM1\nVersion:      1.0.000\nMAC:          " +
                macOf(cliPort()) + "\n",
            "@a: opening|reply received", 1);
        row("read --json", "--port @a", "read --json -q", 0,
            QJsonDocument(moduleJson(cliPort())).toJson(QJsonDocument::Compact), "", 1);
        // Two sends, 5 s apart, and 5 s for the answer to the second.
        row("silent module", "--port @a --behaviour silent", "read", 4, "",
            "read request sent again|@a: no reply from the module", 2);
        row("adapter pulled out", "--port @a --behaviour hang-up", "read", 5, "", "@a: port error",
            1);
        row("no such port", "--port @a", "read --port /dev/ttyNoSuchPort", 3, "",
            "/dev/ttyNoSuchPort: the port did not open: No such file or directory");
        row("no --port, no recognised adapter", "--adapter builtin --port @a", "read", 3, "",
            "no recognised adapter|@a (----:----)|--port");
        row("--all, no recognised adapter", "--adapter builtin --port @a", "read --all", 3, "",
            "no recognised adapter attached (serial ports: @a (----:----))");
        row("refused --settle", "--port @a", "read --settle -1", 2, "", "--settle \"-1\" refused");
        row("no --port, two recognised adapters", "--port @a --port @b", "read", 2, "",
            "several recognised adapters|@a (10C4:EA60)|@b (10C4:EA60)");
        // Refused values: nothing is sent, not even the read before the write.
        row("refused frequency", "--port @a", "write --freq 868,1", 2, "", "--freq \"868,1\"");
        row("refused group", "--port @a", "write --group 256", 2, "", "--group \"256\"|0 to 255");
        row("refused rate", "--port @a", "write --rate 5K", 2, "", "0.81K, 1.46K, 2.6K, 4.56K");
        row("one bad among good", "--port @a", "write --rate 9.11K --group x", 2, "",
            "--group \"x\"");
        row("--from missing file", "--port @a", "write --from /nonexistent/module.json", 2, "",
            "--from /nonexistent/module.json");
        row("nothing to write", "--port @a", "write", 2, "", "nothing to write");
        row("unknown command", "--port @a", "erase", 2, "", "erase");
    }

    void run()
    {
        QFETCH(QStringList, sim);
        QFETCH(QStringList, cli);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QStringList, err);
        QFETCH(int, requests);
        QElapsedTimer clock;
        clock.start();
        const CliRun run = runCli(sim, cli);
        QVERIFY2(run.exitCode == exitCode, run.describe());
        QVERIFY(exitCode != 4 || clock.elapsed() >= 9500);
        const QByteArray compact = QJsonDocument::fromJson(run.out).toJson(QJsonDocument::Compact);
        QCOMPARE(cli.contains("--json") ? compact : run.out, out);
        for (const QString &text : err)
            QVERIFY2(run.err.contains(text.toLatin1()), run.describe());
        QVERIFY2(!run.err.contains("QSerialPort"), run.err); // Qt's warnings are not for the user
        QCOMPARE(run.requests, QVector<QString>(requests, cliPort() + ' ' + ReadRequest).toList());
    }

    // The simulate command serves a module on a pseudo-terminal of its own.
    void simulateOnPseudoTerminal()
    {
        QProcess simulate;
        simulate.start(RADIOCONF_CLI, {"simulate", "--behaviour", "padded"});
        QByteArray path;
        QTRY_VERIFY_WITH_TIMEOUT((path += simulate.readAllStandardOutput()).contains('\n') ||
                                     simulate.state() == QProcess::NotRunning,
                                 30000);
        path = path.trimmed();
        QVERIFY2(path.startsWith("/dev/pts/"), path + simulate.readAllStandardError());
        const CliRun run = runCli({"--port", cliPort()}, {"read", "--port", path, "--json"});
        QVERIFY2(run.exitCode == 0, run.describe());
        QCOMPARE(QJsonDocument::fromJson(run.out).object(),
                 moduleJson(path, {{"mac", "0102030405060708"}}));
        simulate.terminate();
        QVERIFY(simulate.waitForFinished(30000));
        QCOMPARE(simulate.exitCode(), 0);
        QVERIFY(simulate.readAllStandardError().contains("stopped after 1 request"));
    }
};

QTEST_GUILESS_MAIN(TestCliRead)
#include "tst_cliread.moc"
