// radioconf-cli end to end, writes: the exact frame the module receives,
// what the tool prints afterwards, cloning one module onto another, and a
// module that does not take the values.
#include "clirunner.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

const QString ReadRequest = QStringLiteral("ff4ccf52a152f0");
const QString WriteHeader = QStringLiteral("ff4ccf52a157f1");

QJsonObject module(const QString &port, const QJsonObject &changes = {})
{
    QJsonObject object{{"port", port},         {"frequency", 915},         {"group", 0},
                       {"rate", "4.56K"},      {"power", "7(Max)"},        {"baud", "9600"},
                       {"parity", "None"},     {"wakeup", "1s"},           {"model", "SIM1"},
                       {"version", "1.0.000"}, {"mac", "0102030405060708"}};
    for (auto it = changes.begin(); it != changes.end(); ++it)
        object.insert(it.key(), it.value());
    return object;
}

QByteArray describe(const CliRun &run)
{
    return "exit " + QByteArray::number(run.exitCode) + "\nstdout:\n" + run.out + "\nstderr:\n" +
           run.err;
}

} // namespace

class TestCliWrite : public QObject
{
    Q_OBJECT
private slots:
    void writeSendsExactFrame_data();
    void writeSendsExactFrame();
    void cloneFromReadJson();
    void moduleIgnoringWritesFails();
};

void TestCliWrite::writeSendsExactFrame_data()
{
    QTest::addColumn<QStringList>("cli");
    QTest::addColumn<QString>("values"); // bytes 7 to 15 of the write request
    QTest::addColumn<QJsonObject>("reported");

    QTest::newRow("one field") << QStringList{"--rate", "9.11K"} << "0df638 00 04 07 03 00 05"
                               << QJsonObject{{"rate", "9.11K"}};
    // 512.002 MHz is 512002 kHz, not the 512001 that truncation would send.
    QTest::newRow("every field") << QStringList{"--freq",   "512.002", "--group",  "200",
                                                "--rate",   "0.81K",   "--power",  "0",
                                                "--baud",   "57600",   "--parity", "even",
                                                "--wakeup", "1.5s"}
                                 << "07d002 c8 00 00 06 02 06"
                                 << QJsonObject{{"frequency", 512.002}, {"group", 200},
                                                {"rate", "0.81K"},      {"power", "0"},
                                                {"baud", "57600"},      {"parity", "Even"},
                                                {"wakeup", "1.5s"}};
}

void TestCliWrite::writeSendsExactFrame()
{
    QFETCH(QStringList, cli);
    QFETCH(QString, values);
    QFETCH(QJsonObject, reported);
    const QString port = CliRunner::port();
    const CliRun run = CliRunner::run({"--port", port}, QStringList{"write", "--json"} + cli);
    QVERIFY2(run.exitCode == 0, describe(run));
    QCOMPARE(run.requests, (QStringList{port + ' ' + ReadRequest,
                                        port + ' ' + WriteHeader + values.remove(' ')}));
    QCOMPARE(QJsonDocument::fromJson(run.out).object(), module(port, reported));
    QVERIFY2(run.err.contains("write request sent, waiting for the reply"), run.err);
}

// One module's set-up read as JSON, written onto another; an option given
// with --from wins over the file.
void TestCliWrite::cloneFromReadJson()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("module.json");
    const QString source = CliRunner::port(0);
    // Set up the first module, then read it, in the same test bed.
    QProcess first;
    first.start(RADIOCONF_SIM,
                {"--port", source, "--", "sh", "-c",
                 "\"$0\" write -q --freq 433.92 --group 9 --rate 18.23K --power 3 --baud 2400 "
                 "--parity odd --wakeup 200ms >/dev/null && \"$0\" read --json -q > \"$1\"",
                 RADIOCONF_CLI, file});
    QVERIFY(first.waitForFinished(60000));
    QVERIFY2(first.exitCode() == 0, first.readAllStandardError());

    const QString target = CliRunner::port(1);
    const CliRun clone =
        CliRunner::run({"--port", target}, {"write", "--from", file, "--group", "3", "--json"});
    QVERIFY2(clone.exitCode == 0, describe(clone));
    QCOMPARE(clone.requests, (QStringList{target + ' ' + ReadRequest,
                                          target + ' ' + WriteHeader + "069f00030503010102"}));
    QCOMPARE(QJsonDocument::fromJson(clone.out).object(), module(target, {{"frequency", 433.92},
                                                                          {"group", 3},
                                                                          {"rate", "18.23K"},
                                                                          {"power", "3"},
                                                                          {"baud", "2400"},
                                                                          {"parity", "Odd"},
                                                                          {"wakeup", "200ms"}}));
}

void TestCliWrite::moduleIgnoringWritesFails()
{
    const QString port = CliRunner::port();
    const CliRun run = CliRunner::run({"--port", port, "--behaviour", "ignore-writes"},
                                      {"write", "--json", "--rate", "9.11K", "--group", "7"});
    QVERIFY2(run.exitCode == 6, describe(run));
    QCOMPARE(run.requests, (QStringList{port + ' ' + ReadRequest,
                                        port + ' ' + WriteHeader + "0df6380704070300" + "05"}));
    // What the module reports is still printed; the failure is one line.
    QCOMPARE(QJsonDocument::fromJson(run.out).object(), module(port));
    const QByteArray last = run.err.trimmed().split('\n').last();
    QVERIFY2(last.contains(port.toLatin1() + ": the module reports other values than written"),
             run.err);
    QVERIFY2(last.contains("Group ID: wanted 7, got 0"), run.err);
    QVERIFY2(last.contains("RF TRx rate: wanted 9.11K, got 4.56K"), run.err);
    QVERIFY2(!last.contains("RF frequency"), run.err);
}

QTEST_GUILESS_MAIN(TestCliWrite)
#include "tst_cliwrite.moc"
