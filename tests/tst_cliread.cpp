// radioconf-cli end to end on one port: listing, reading, writing, choosing
// the port, and every way a command fails before or instead of a write.
#include "clirunner.h"

// What read --json prints for the simulated module, with changes.
static QString moduleJson(const QString &port, const QJsonObject &changes = {})
{
    QJsonObject object{{"port", port},         {"frequency", 915},   {"group", 0},
                       {"rate", "4.56K"},      {"power", "7(Max)"},  {"baud", "9600"},
                       {"parity", "None"},     {"wakeup", "1s"},     {"model", "SIM1"},
                       {"version", "1.0.000"}, {"mac", macOf(port)}, {"outcome", "ok"}};
    for (auto it = changes.begin(); it != changes.end(); ++it)
        object.insert(it.key(), it.value());
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + '\n';
}

class TestCliRead : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void run_data()
    {
        addCliColumns();
        const QString cp2102 = "  10C4:EA60  CP2102 USB to UART Bridge Controller\n";
        cliRow("list", "--port @a -- list", 0, "@a" + cp2102);
        cliRow("list, built-in port hidden", "--adapter builtin --port @a -- list", 0, "");
        cliRow("list --all", "--adapter builtin --port @a -- list --all", 0, "  @a  ----:----\n");
        cliRow("list --port, one missing", "--port @a --port @b -- list --port /dev/@b --port x", 3,
               "* @b" + cp2102, "no such serial port: x");
        const QJsonObject cypress{{"description", "CP2102 USB to UART Bridge Controller"},
                                  {"pid", "0003"},
                                  {"port", filled("@a")},
                                  {"recognised", true},
                                  {"vid", "04B4"}};
        cliRow("list --json", "--adapter cypress --port @a -- list --json", 0,
               QJsonDocument(cypress).toJson(QJsonDocument::Compact) + '\n');
        cliRow("read", "--port @a -- read", 0,
               "Port:         @a\nRF frequency: 915 MHz\nGroup ID:     0\nRF TRx rate:  4.56K\n"
               "RF Power:     7(Max)\nBaudrate:     9600\nParity Check: None\nWakeup Time:  1s\n"
               "Model:        SIM1\nVersion:      1.0.000\nMAC:          @A\n",
               "@a: opening|reply received", "@a");
        cliRow("read --json", "--port @a -- read --json -q", 0, moduleJson(filled("@a")), "", "@a");
        cliRow("silent module", "--port @a --behaviour silent -- read", 4, "",
               "read request sent again|@a: no reply from the module", "@a @a");
        cliRow("adapter pulled out", "--port @a --behaviour hang-up -- read", 5, "",
               "@a: port error", "@a");
        cliRow("no --port, no recognised adapter", "--adapter builtin --port @a -- read", 3, "",
               "no recognised adapter|@a (----:----)|--port");
        cliRow("refused --settle", "--port @a -- read --settle -1", 2, "",
               "--settle \"-1\" refused");
        cliRow("standard output full", "--port @a -- read --json >/dev/full", 7, "",
               "read: cannot write to standard output: No space left on device", "@a");
        cliRow("unknown option", "--port @a -- read --bogus", 2, "",
               "read: Unknown option 'bogus'; see radioconf-cli read --help");

        // A write sends the values read back with the changes.
        cliRow("write", "--port @a -- write --json --rate 9.11K", 0,
               moduleJson(filled("@a"), {{"rate", "9.11K"}}), "", "@a @a=0df638.00.04.07.03.00.05");
        // Another module's set-up as read --json printed it; an option wins over the file.
        QJsonObject cloned{{"frequency", 433.92}, {"group", 9},     {"rate", "18.23K"},
                           {"power", "3"},        {"baud", "2400"}, {"parity", "Odd"},
                           {"wakeup", "200ms"}};
        QFile file(dir.filePath("module.json"));
        QVERIFY(file.open(QIODevice::WriteOnly) &&
                file.write(moduleJson("x", cloned).toUtf8()) > 0);
        cloned["group"] = 3;
        cliRow("clone with --from", "--port @a -- write --json --group 3 --from " + file.fileName(),
               0, moduleJson(filled("@a"), cloned), "", "@a @a=069f00.03.05.03.01.01.02");
        // What the module reports is printed even when it differs; the failure is one line.
        const QString mismatch = "the module reports other values than written: Group ID: wanted "
                                 "7, got 0; RF TRx rate: wanted 9.11K, got 4.56K";
        cliRow("module ignores writes",
               "--port @a --behaviour ignore-writes -- write --json --rate 9.11K --group 7", 6,
               moduleJson(filled("@a"), {{"outcome", "mismatch"}, {"error", mismatch}}),
               "@a: " + mismatch + '\n', "@a @a=0df638.07.04.07.03.00.05");
        // Refused values: nothing is sent, not even the read before the write.
        cliRow("refused values among a good one",
               "--port @a -- write --rate 9.11K --group 256 --parity no", 2, "",
               "--group \"256\" refused|0 to 255|--parity \"no\" refused|None, Odd, Even");
        cliRow("--from missing file", "--port @a -- write --from /none.json", 2, "",
               "--from /none.json");
        const auto saved = [this](const QString &name, const QString &contents) {
            QFile f(dir.filePath(name));
            return f.open(QIODevice::WriteOnly) && f.write(filled(contents).toUtf8()) > 0
                       ? f.fileName()
                       : QString();
        };
        // A line of read --json on several ports, taken whatever its port.
        cliRow("--from, one line of another port",
               "--port @a -- write -q --from " +
                   saved("line.json",
                         R"({"baud":"2400","frequency":433.92,"group":9,"mac":"@B","model":"SIM1",)"
                         R"("outcome":"ok","parity":"Odd","port":"@b","power":"3","rate":"18.23K",)"
                         R"("version":"1.0.000","wakeup":"200ms"})"
                         "\n"),
               0, "@A|", "", "@a @a=069f00.09.05.03.01.01.02");
        cliRow("--from, mistyped key",
               "--port @a -- write --from " +
                   saved("typo.json", R"({"group":5,"freqency":433.92})"),
               2, "", "unknown key \"freqency\" (did you mean \"frequency\"?");
        cliRow("--freq finer than a kHz", "--port @a -- write --freq 868.0005", 2, "",
               "--freq \"868.0005\" refused: RF frequency: the module's step is 1 kHz (0.001 MHz)");
        cliRow("one port in two spellings", "--port @a -- read --port @a --port /dev/@a", 0,
               "Port:         @a\n|MAC:          @A\n", "/dev/@a is @a: served once, as @a", "@a");
        cliRow("nothing to write", "--port @a -- write", 2, "", "nothing to write");
        cliRow("unknown command", "--port @a -- erase", 2, "", "erase");
    }

    void run() { checkCliRow(); }

    // The simulate command serves a module on a pseudo-terminal of its own.
    void simulateOnPseudoTerminal()
    {
        QProcess simulate, read;
        simulate.start(RADIOCONF_CLI, {"simulate", "--behaviour", "padded"});
        QTRY_VERIFY_WITH_TIMEOUT(simulate.canReadLine(), 30000);
        const QString path = simulate.readLine().trimmed();
        read.start(RADIOCONF_CLI, {"read", "--port", path, "--json"});
        QVERIFY(read.waitForFinished(60000));
        QCOMPARE(read.readAllStandardOutput(),
                 moduleJson(path, {{"mac", "0102030405060708"}}).toUtf8());
        simulate.terminate();
        QVERIFY(simulate.waitForFinished(30000));
        QCOMPARE(simulate.exitCode(), 0);
        QVERIFY(simulate.readAllStandardError().contains("stopped after 1 request"));
    }
};

QTEST_GUILESS_MAIN(TestCliRead)
#include "tst_cliread.moc"
