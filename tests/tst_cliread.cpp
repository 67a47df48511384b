// radioconf-cli end to end, without writes: listing, reading, choosing the
// port, and the failures of an exchange.
#include "clirunner.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

const QString ReadRequest = QStringLiteral("ff4ccf52a152f0");

QJsonObject defaultModule(const QString &port)
{
    return QJsonObject{{"port", port},         {"frequency", 915},         {"group", 0},
                       {"rate", "4.56K"},      {"power", "7(Max)"},        {"baud", "9600"},
                       {"parity", "None"},     {"wakeup", "1s"},           {"model", "SIM1"},
                       {"version", "1.0.000"}, {"mac", "0102030405060708"}};
}

QByteArray describe(const CliRun &run)
{
    return "exit " + QByteArray::number(run.exitCode) + "\nstdout:\n" + run.out + "\nstderr:\n" +
           run.err;
}

} // namespace

class TestCliRead : public QObject
{
    Q_OBJECT
private slots:
    void list_data();
    void list();
    void readText();
    void readJsonQuiet();
    void portLeftOut_data();
    void portLeftOut();
    void portThatDoesNotExist();
    void invalidValuesSendNothing_data();
    void invalidValuesSendNothing();
    void silentModule();
    void adapterPulledOut();
    void simulateOnPseudoTerminal();
    void helpAndVersion_data();
    void helpAndVersion();
};

void TestCliRead::list_data()
{
    QTest::addColumn<QStringList>("sim");
    QTest::addColumn<QStringList>("cli");
    QTest::addColumn<QByteArray>("out");

    const QByteArray p = CliRunner::port().toLatin1();
    QTest::newRow("cp210x") << QStringList{"--port", p} << QStringList{"list"}
                            << p + "  10C4:EA60  CP2102 USB to UART Bridge Controller\n";
    QTest::newRow("built-in port hidden")
        << QStringList{"--adapter", "builtin", "--port", p} << QStringList{"list"} << QByteArray();
    QTest::newRow("built-in port with --all")
        << QStringList{"--adapter", "builtin", "--port", p} << QStringList{"list", "--all"}
        << "  " + p + "  ----:----\n";
    QTest::newRow("cypress --all")
        << QStringList{"--adapter", "cypress", "--port", p} << QStringList{"list", "--all"}
        << "* " + p + "  04B4:0003  CP2102 USB to UART Bridge Controller\n";
}

void TestCliRead::list()
{
    QFETCH(QStringList, sim);
    QFETCH(QStringList, cli);
    QFETCH(QByteArray, out);
    const CliRun run = CliRunner::run(sim, cli);
    QVERIFY2(run.exitCode == 0, describe(run));
    QCOMPARE(run.out, out);
}

void TestCliRead::readText()
{
    const QString port = CliRunner::port();
    const CliRun run = CliRunner::run({"--port", port}, {"read"});
    QVERIFY2(run.exitCode == 0, describe(run));
    QCOMPARE(run.out, QByteArray("Port:         " + port.toLatin1() +
                                 "\n"
                                 "RF frequency: 915 MHz\n"
                                 "Group ID:     0\n"
                                 "RF TRx rate:  4.56K\n"
                                 "RF Power:     7(Max)\n"
                                 "Baudrate:     9600\n"
                                 "Parity Check: None\n"
                                 "Wakeup Time:  1s\n"
                                 "Model:        SIM1\n"
                                 "Version:      1.0.000\n"
                                 "MAC:          0102030405060708\n"));
    QCOMPARE(run.requests, QStringList{port + ' ' + ReadRequest});
    // Progress goes to stderr, in order.
    const int opening = run.err.indexOf(port.toLatin1() + ": opening");
    const int sent = run.err.indexOf("read request sent, waiting for the reply");
    const int received = run.err.indexOf("reply received");
    QVERIFY2(opening >= 0 && opening < sent && sent < received, run.err);
    QVERIFY2(!run.err.contains("no answer yet"), run.err);
}

void TestCliRead::readJsonQuiet()
{
    const QString port = CliRunner::port();
    const CliRun run = CliRunner::run({"--port", port}, {"read", "--json", "--quiet"});
    QVERIFY2(run.exitCode == 0, describe(run));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out, &error);
    QVERIFY2(error.error == QJsonParseError::NoError, run.out);
    QCOMPARE(document.object(), defaultModule(port));
    QVERIFY2(!run.err.contains("radioconf-cli"), run.err);
    QCOMPARE(run.requests, QStringList{port + ' ' + ReadRequest});
}

void TestCliRead::portLeftOut_data()
{
    QTest::addColumn<QStringList>("sim");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("named");

    const QString a = CliRunner::port(0);
    const QString b = CliRunner::port(1);
    QTest::newRow("no recognised adapter")
        << QStringList{"--adapter", "builtin", "--port", a} << 3
        << QStringList{"no recognised adapter", a + " (----:----)", "--port"};
    QTest::newRow("two recognised adapters")
        << QStringList{"--port", a, "--port", b} << 2
        << QStringList{"several recognised adapters", a + " (10C4:EA60)", b + " (10C4:EA60)",
                       "--port"};
}

void TestCliRead::portLeftOut()
{
    QFETCH(QStringList, sim);
    QFETCH(int, exitCode);
    QFETCH(QStringList, named);
    const CliRun run = CliRunner::run(sim, {"read"});
    QVERIFY2(run.exitCode == exitCode, describe(run));
    QVERIFY(run.out.isEmpty());
    for (const QString &text : named)
        QVERIFY2(run.err.contains(text.toLatin1()), describe(run));
    QCOMPARE(run.requests, QStringList());
}

void TestCliRead::portThatDoesNotExist()
{
    const CliRun run = CliRunner::runPlain({"read", "--port", "/dev/ttyNoSuchPort"});
    QVERIFY2(run.exitCode == 3, describe(run));
    QVERIFY(run.out.isEmpty());
    const QList<QByteArray> lines = run.err.trimmed().split('\n');
    QVERIFY2(lines.last().contains("/dev/ttyNoSuchPort: the port did not open: No such file or "
                                   "directory"),
             run.err);
    // Qt's own warnings about the port are not for the user.
    QVERIFY2(!run.err.contains("QSerialPort"), run.err);
}

void TestCliRead::invalidValuesSendNothing_data()
{
    QTest::addColumn<QStringList>("cli");
    QTest::addColumn<QStringList>("named");

    QTest::newRow("frequency comma")
        << QStringList{"--freq", "868,1"} << QStringList{"--freq \"868,1\"", "16777.215"};
    QTest::newRow("frequency too high")
        << QStringList{"--freq", "16777.216"} << QStringList{"--freq", "16777.215"};
    QTest::newRow("frequency zero") << QStringList{"--freq", "0"} << QStringList{"--freq"};
    QTest::newRow("group 256") << QStringList{"--group", "256"}
                               << QStringList{"--group \"256\"", "0 to 255"};
    QTest::newRow("rate") << QStringList{"--rate", "5K"}
                          << QStringList{"--rate \"5K\"", "0.81K, 1.46K, 2.6K, 4.56K"};
    QTest::newRow("power 8") << QStringList{"--power", "8"} << QStringList{"--power", "7(Max)"};
    QTest::newRow("baud") << QStringList{"--baud", "115200"} << QStringList{"--baud", "57600"};
    QTest::newRow("parity") << QStringList{"--parity", "mark"}
                            << QStringList{"--parity", "None, Odd, Even"};
    QTest::newRow("wakeup") << QStringList{"--wakeup", "7s"} << QStringList{"--wakeup", "5s"};
    QTest::newRow("one bad among good")
        << QStringList{"--rate", "9.11K", "--group", "x"} << QStringList{"--group \"x\""};
    QTest::newRow("nothing to write") << QStringList{} << QStringList{"nothing to write"};
    QTest::newRow("from missing file") << QStringList{"--from", "/nonexistent/module.json"}
                                       << QStringList{"--from /nonexistent/module.json"};
    QTest::newRow("unknown option") << QStringList{"--colour", "red"} << QStringList{"colour"};
}

void TestCliRead::invalidValuesSendNothing()
{
    QFETCH(QStringList, cli);
    QFETCH(QStringList, named);
    const CliRun run = CliRunner::run({"--port", CliRunner::port()}, QStringList{"write"} + cli);
    QVERIFY2(run.exitCode == 2, describe(run));
    for (const QString &text : named)
        QVERIFY2(run.err.contains(text.toLatin1()), describe(run));
    QVERIFY2(!run.err.contains("opening"), run.err);
    QCOMPARE(run.requests, QStringList());
}

void TestCliRead::silentModule()
{
    const QString port = CliRunner::port();
    QElapsedTimer clock;
    clock.start();
    const CliRun run = CliRunner::run({"--port", port, "--behaviour", "silent"}, {"read"});
    QVERIFY2(run.exitCode == 4, describe(run));
    // Two sends, 5 s apart, and 5 s for the answer to the second.
    QVERIFY(clock.elapsed() >= 9500);
    QCOMPARE(run.requests, (QStringList{port + ' ' + ReadRequest, port + ' ' + ReadRequest}));
    QVERIFY2(run.err.contains("no answer yet, read request sent again"), run.err);
    QVERIFY2(run.err.trimmed().split('\n').last().contains(port.toLatin1() +
                                                           ": no reply from the module"),
             run.err);
    QVERIFY(run.out.isEmpty());
}

void TestCliRead::adapterPulledOut()
{
    const QString port = CliRunner::port();
    const CliRun run = CliRunner::run({"--port", port, "--behaviour", "hang-up"}, {"read", "-q"});
    QVERIFY2(run.exitCode == 5, describe(run));
    QVERIFY2(run.err.contains(port.toLatin1() + ": port error"), run.err);
    QCOMPARE(run.requests, QStringList{port + ' ' + ReadRequest});
}

void TestCliRead::simulateOnPseudoTerminal()
{
    QProcess simulate;
    simulate.start(RADIOCONF_CLI, {"simulate", "--behaviour", "padded"});
    QVERIFY(simulate.waitForStarted());
    QByteArray path;
    QTRY_VERIFY_WITH_TIMEOUT((path += simulate.readAllStandardOutput()).contains('\n') ||
                                 simulate.state() == QProcess::NotRunning,
                             30000);
    path = path.trimmed();
    QVERIFY2(path.startsWith("/dev/pts/"), path + simulate.readAllStandardError());

    const CliRun run = CliRunner::runPlain({"read", "--port", QString::fromLatin1(path), "--json"});
    QVERIFY2(run.exitCode == 0, describe(run));
    QJsonObject expected = defaultModule(QString::fromLatin1(path));
    QCOMPARE(QJsonDocument::fromJson(run.out).object(), expected);

    simulate.terminate();
    QVERIFY(simulate.waitForFinished(30000));
    QCOMPARE(simulate.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulate.exitCode(), 0);
    QVERIFY(simulate.readAllStandardError().contains("stopped after 1 request"));
}

void TestCliRead::helpAndVersion_data()
{
    QTest::addColumn<QStringList>("cli");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("out");

    const QStringList codes{"Exit codes:", "  3  the port did not open", "  6  the module"};
    QTest::newRow("version") << QStringList{"--version"} << 0
                             << QStringList{"radioconf-cli " RADIOCONF_VERSION "\n"};
    QTest::newRow("tool help") << QStringList{"--help"} << 0
                               << codes + QStringList{"list [--all] [--json]", "simulate"};
    QTest::newRow("read help") << QStringList{"read", "--help"} << 0
                               << codes + QStringList{"Usage: radioconf-cli read", "--port"};
    QTest::newRow("write help") << QStringList{"help", "write"} << 0
                                << codes + QStringList{"--wakeup <value>", "1.5s", "--from"};
    QTest::newRow("simulate help")
        << QStringList{"simulate", "-h"} << 0 << QStringList{"--behaviour", "ignore-writes"};
    QTest::newRow("unknown command") << QStringList{"erase"} << 2 << QStringList{};
    QTest::newRow("no command") << QStringList{} << 2 << QStringList{};
}

void TestCliRead::helpAndVersion()
{
    QFETCH(QStringList, cli);
    QFETCH(int, exitCode);
    QFETCH(QStringList, out);
    const CliRun run = CliRunner::runPlain(cli);
    QVERIFY2(run.exitCode == exitCode, describe(run));
    for (const QString &text : out)
        QVERIFY2(run.out.contains(text.toLatin1()), run.out);
    if (exitCode != 0)
        QVERIFY(!run.err.isEmpty());
}

QTEST_GUILESS_MAIN(TestCliRead)
#include "tst_cliread.moc"
