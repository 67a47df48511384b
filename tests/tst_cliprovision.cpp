// radioconf-cli end to end on a line of adapters: several ports at once, and
// the provisioning station with its table, its watching and its end.
#include "clirunner.h"

#include <csignal>

class TestCliProvision : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;

    QString file(const QString &name, const QString &contents)
    {
        QFile f(dir.filePath(name));
        const bool written = f.open(QIODevice::WriteOnly) && f.write(filled(contents).toUtf8()) > 0;
        return written ? f.fileName() : QString();
    }

private slots:
    void run_data()
    {
        addCliColumns();
        // Three modules at once, the third silent: the others succeed, it
        // times out, and the exit code is that of the time-out.
        const QString three = "--port @a --port @b --port @c";
        cliRow("read --all, one silent", three + ":silent -- read --all", 4,
               "@a: MAC:          @A\n|@b: MAC:          @B\n",
               "@c: no reply from the module|2 of 3 modules read; @c failed: no reply",
               "@a @b @c @c");
        cliRow("write --port thrice, one silent",
               three + ":silent -- write --group 5 --json " + three, 4,
               R"("group":5,"mac":"@A","model":"SIM1","outcome":"ok","parity":"None","port":"@a"|)"
               R"("group":5,"mac":"@B","model":"SIM1","outcome":"ok","parity":"None","port":"@b"|)"
               R"("outcome":"no-reply","port":"@c"})",
               "@c: no reply from the module|2 of 3 modules written; @c failed: no reply",
               "@a @b @c @c @a=0df638.05.0307030005 @b=0df638.05.0307030005");

        // read --json of several ports back to --from: each port takes its
        // own line, by port in any spelling, else by MAC; a failed port's
        // line is no one's.
        const QString lines = file(
            "lines.json", "{\"group\":1,\"port\":\"/dev/@a\"}\n{\"group\":2,\"port\":\"@b\"}\n"
                          "{\"group\":3,\"mac\":\"@C\",\"port\":\"ttyUSB-elsewhere\"}\n"
                          "{\"error\":\"no reply\",\"outcome\":\"no-reply\",\"port\":\"@d\"}\n");
        cliRow("write --from lines",
               three + " -- write -q --from " + lines + " --port @a --port /dev/@b --port @c", 0,
               "@a: Group ID:     1\n|@b: Group ID:     2\n|@c: Group ID:     3\n",
               "3 of 3 modules written",
               "@a @b @c @a=0df638.01.0307030005 @b=0df638.02.0307030005 @c=0df638.03.0307030005");
        cliRow("write --from lines, the port's own failed", "--port @d -- write -q --from " + lines,
               2, "",
               "@d: --from " + lines + ": the object for @d is of a port that failed (no reply)",
               "@d");
        cliRow("provision --port",
               three + " -- provision -q --from " + lines + " --port /dev/@b --port @b --port @d",
               3,
               "@b SIM1 @B provisioned: frequency 915 MHz, group 2,|@d - - failed: the port did "
               "not open",
               "1 of 2 modules provisioned", "@b @b=0df638.02.0307030005");

        // Each module's row of the table on top of --from, checked in the
        // frames each module receives.
        const QString provision =
            three + " -- provision --from " + file("from.json", "{\"frequency\":868.1}");
        const QString table = " --table " + file("table.csv", "mac,group\n@A,5\n\"@B\",6\n");
        cliRow("table", provision + table, 0,
               "@a SIM1 @A provisioned: frequency 868.1 MHz, group 5,|",
               "3 of 3 modules provisioned",
               "@a @b @c @a=0d3f04.05.0307030005 @b=0d3f04.06.0307030005 @c=0d3f04.00.0307030005");
        // --json: one object a line.
        cliRow("table --only-listed", provision + table + " --only-listed --json", 0,
               R"("port":"@c",|"reason":"MAC not in the table","result":"skipped")", "skipped: @c",
               "@a @b @c @a=0d3f04.05.0307030005 @b=0d3f04.06.0307030005");
        // A module the station cannot record ends the station.
        cliRow("log full",
               "--port @a -- provision --from " + file("group.json", "{\"group\":2}") +
                   " --log /dev/full",
               7, "@a SIM1 @A provisioned: frequency 915 MHz, group 2,|",
               "cannot write to /dev/full: No space left on device; no more modules are taken",
               "@a @a=0df638.02.0307030005");
        cliRow("malformed table, nothing sent",
               provision + " --table " + file("bad.csv", "mac,group\n@A,5\n@B,256\n"), 2, "",
               "--table|line 3: group \"256\" refused");
        cliRow("mistyped column, nothing sent",
               provision + " --table " + file("typo.csv", "mac,grop\n@A,5\n"), 2, "",
               "line 1: unknown column \"grop\" (did you mean \"group\"?");
    }

    void run() { checkCliRow(); }

    // The station on watch: adapters plugged and pulled out through
    // radioconf-sim's input, each provisioned once per plug, a silent one
    // failed while the others go on; SIGTERM during an exchange lets it end
    // before the summary.
    void watch()
    {
        const QString log = dir.filePath("station.log"), pidFile = dir.filePath("pid");
        QProcess sim;
        sim.start(RADIOCONF_SIM,
                  filled("--delay 100 --port @a --port @b:silent -- sh -c").split(' ') +
                      QStringList{"echo $$ > \"$0\"; exec \"$@\"", pidFile, RADIOCONF_CLI,
                                  "provision", "--watch", "--log", log, "--from",
                                  file("group.json", "{\"group\": 3}")});
        QByteArray out, err;
        const auto count = [&](const QString &text) {
            out += sim.readAllStandardOutput();
            err += sim.readAllStandardError();
            return int(QString::fromUtf8(out + err).count(filled(text)));
        };
        const QString a = " @a SIM1 @A provisioned: frequency 915 MHz, group 3,";
        QTRY_VERIFY2_WITH_TIMEOUT(count(a) == 1, out + err, 30000);
        sim.write(filled("unplug @a\n").toUtf8());
        QTRY_VERIFY2_WITH_TIMEOUT(count("@a: adapter pulled out") == 1, out + err, 30000);
        sim.write(filled("plug @a\nplug @c\nplug @d:trickle\n").toUtf8());
        QTRY_VERIFY2_WITH_TIMEOUT(count("@d: read request sent") == 1, out + err, 30000);
        QFile pid(pidFile);
        QVERIFY(pid.open(QIODevice::ReadOnly));
        QCOMPARE(::kill(pid.readAll().trimmed().toInt(), SIGTERM), 0);
        QVERIFY(sim.waitForFinished(60000));
        QVERIFY2(sim.exitCode() == 4, out + err);
        QCOMPARE((QList<int>{count(a), count(" @b - - failed: no reply"),
                             count(" @c SIM1 @C provisioned: "), count(" @d SIM1 @D provisioned: "),
                             count("4 of 5 modules provisioned; @b failed: no reply"),
                             count("interrupted: finishing ")}),
                 (QList<int>{2, 1, 1, 1, 1, 1}));
        QFile logged(log);
        QVERIFY(logged.open(QIODevice::ReadOnly));
        QCOMPARE(logged.readAll(), out);
    }

    // A station limited to a port not attached yet says, even with
    // --quiet, that it waits, and leaves the other adapters alone.
    void watchNamedPort()
    {
        const QString pidFile = dir.filePath("pid-named");
        QProcess sim;
        sim.start(RADIOCONF_SIM,
                  filled("--port @a -- sh -c").split(' ') +
                      QStringList{"echo $$ > \"$0\"; exec \"$@\"", pidFile, RADIOCONF_CLI,
                                  "provision", "--watch", "-q", "--port", filled("/dev/@b"),
                                  "--from", file("group4.json", "{\"group\": 4}")});
        QByteArray out, err;
        const auto seen = [&](const QString &text) {
            out += sim.readAllStandardOutput();
            err += sim.readAllStandardError();
            return (out + err).contains(filled(text).toUtf8());
        };
        QTRY_VERIFY2_WITH_TIMEOUT(seen("waiting for /dev/@b to be plugged in (Ctrl+C ends)"),
                                  out + err, 30000);
        sim.write(filled("plug @b\n").toUtf8());
        QTRY_VERIFY2_WITH_TIMEOUT(seen(" /dev/@b SIM1 @B provisioned: frequency 915 MHz, group 4,"),
                                  out + err, 30000);
        QFile pid(pidFile);
        QVERIFY(pid.open(QIODevice::ReadOnly));
        QCOMPARE(::kill(pid.readAll().trimmed().toInt(), SIGTERM), 0);
        QVERIFY(sim.waitForFinished(60000));
        QVERIFY2(sim.exitCode() == 0 && seen("1 of 1 module provisioned") && !seen("@A"),
                 out + err);
    }
};

QTEST_GUILESS_MAIN(TestCliProvision)
#include "tst_cliprovision.moc"
