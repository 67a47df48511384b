// radioconf-cli names why a port does not open, and its doctor checks the
// machine: on the test bed's adapter and on a bare pseudo-terminal that
// udev would have given to the dialout group.
#include "simulator/virtualadapter.h"

#include "jsonlines.h"

#include <QtTest>

#include <grp.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestCliDiagnosis : public QObject
{
    Q_OBJECT
    VirtualAdapter bed;
    QTemporaryDir dir;
    const QString port = VirtualAdapter::processPortName();
    QString pty;
    int master = -1;
    int slave = -1;
    gid_t dialout = 20;

    // Runs program as user: root, nobody, or nobody in the dialout group.
    QProcess *start(const QString &user, const QString &program, const QStringList &args,
                    const QString &input = {})
    {
        auto *process = new QProcess;
        process->setProcessChannelMode(QProcess::MergedChannels);
        if (!input.isEmpty())
            process->setStandardInputFile(input);
        if (user == "root") {
            process->start(program, args);
            return process;
        }
        // The test bed's folder is closed to others: their rows use the bare
        // pseudo-terminal.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("LD_PRELOAD");
        environment.remove("UMOCKDEV_DIR");
        process->setProcessEnvironment(environment);
        const QString groups =
            user == "nobody" ? "--clear-groups" : "--groups=" + QString::number(dialout);
        process->start("setpriv",
                       QStringList{"--reuid=65534", "--regid=65534", groups, program} + args);
        return process;
    }

    static QByteArray comm(qint64 pid)
    {
        QFile file(QStringLiteral("/proc/%1/comm").arg(pid));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(bed.plug(port, VirtualAdapter::Cp210xVendor, VirtualAdapter::Cp210xProduct));
        char name[128];
        QCOMPARE(openpty(&master, &slave, name, nullptr, nullptr), 0);
        pty = name;
        if (const group *entry = getgrnam("dialout"))
            dialout = entry->gr_gid;
        if (geteuid() == 0) // a serial port as udev leaves it
            QVERIFY(chown(name, 0, dialout) == 0 && chmod(name, 0660) == 0);
        // A program named like gpsd, that others may run.
        QVERIFY(QFile::copy("/bin/sleep", dir.filePath("gpsd")));
        QVERIFY(chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
    }

    void cleanupTestCase()
    {
        ::close(master);
        ::close(slave);
    }

    void run_data()
    {
        QTest::addColumn<QString>("holder"); // of the port: "lock", or "gpsd as" a user
        QTest::addColumn<QString>("user");   // of the tool, as for start()
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("texts"); // the output holds each, split at '|'
        QTest::addColumn<bool>("attempts"); // to open the port, before the failure
        const auto row = [](const char *name, const QString &holder, const QString &user,
                            const QString &args, int exitCode, const QString &texts,
                            bool attempts) {
            QTest::newRow(name) << holder << user << args << exitCode << texts << attempts;
        };
        const QString fail = "radioconf-cli: read: %1: the port did not open: ";
        row("missing node", "", "root", "read --port ttyNone", 3,
            fail.arg("ttyNone") +
                "there is no /dev/ttyNone; recognised adapters attached: @a; give one of them to "
                "--port\n",
            false);
        row("/dev/null", "", "root", "read --port /dev/null", 3,
            fail.arg("/dev/null") +
                "/dev/null is a device but not a serial port (Inappropriate ioctl for device); ",
            true);
        row("a directory", "", "root", "read --port @dir", 3,
            fail.arg("@dir") + "@dir is a folder, not a serial port; ", false);
        row("a name too long", "", "root", "read --port " + QString(5000, 'x'), 3,
            "the port did not open: the system refuses the port's path as too long (5005 "
            "characters); ",
            false);
        row("no permission", "", "nobody", "read --port @pty", 3,
            fail.arg("@pty") +
                "@pty belongs to group dialout, which this user (nobody) is not in; join it and "
                "log in again (sudo usermod -aG dialout nobody), or install the radioconf "
                "packages' udev rule",
            true);
        row("held through its lock file", "lock", "root", "read --port @a", 3,
            fail.arg("@a") +
                "/dev/@a is in use by tst_clidiagnosis (pid @self, through the lock file "
                "/var/lock/LCK..@a); end tst_clidiagnosis (kill @self)",
            true);
        row("held through a descriptor by gpsd", "gpsd as nobody", "dialout", "read --port @pty", 3,
            fail.arg("@pty") +
                "@pty is in use by gpsd (pid @pid); gpsd's own udev rules start it on 10C4:EA60 "
                "adapters: stop it",
            true);
        row("doctor, gpsd on the adapter", "gpsd as root", "root", "doctor", 1,
            "ok    adapters: @a (CP210x 10C4:EA60)\nok    port @a: opens for |FAIL  gpsd: running "
            "(pid @pid), holds @a; gpsd's own udev rules|udev rule: ",
            false);
        row("doctor --json, a port given", "", "root", "doctor --json --port /dev/null", 1,
            "{\"check\":\"port\",\"detail\":\"/dev/null is a device but not a serial port "
            "(Inappropriate ioctl for device)\",\"fix\":\"recognised adapters attached: @a; give "
            "one of them to --port\",\"ok\":false,\"port\":\"/dev/null\"}\n|{\"check\":\"udev "
            "rule\",",
            false);
        row("doctor on a network port", "", "root", "doctor --port tcp://127.0.0.1:9", 2,
            "radioconf-cli: doctor: tcp://127.0.0.1:9 is a network port, and doctor checks only "
            "this machine's serial ports; radioconf-cli read --port tcp://127.0.0.1:9 says",
            false);
    }

    void run()
    {
        QFETCH(QString, holder);
        QFETCH(QString, user);
        QFETCH(QString, args);
        QFETCH(int, exitCode);
        QFETCH(QString, texts);
        QFETCH(bool, attempts);
        if (user != "root" && geteuid() != 0)
            QSKIP("another user's rows need root, to run the tool as nobody");
        QLockFile lock("/var/lock/LCK.." + port);
        QScopedPointer<QProcess> gpsd;
        if (holder == "lock")
            QVERIFY(lock.tryLock(0));
        if (holder.startsWith("gpsd")) {
            // It holds the port open, in exclusive use as gpsd does.
            const QString as = holder.section(' ', -1);
            gpsd.reset(
                start(as, dir.filePath("gpsd"), {"60"}, as == "root" ? "/dev/" + port : pty));
            QVERIFY(as == "root" || ioctl(slave, TIOCEXCL) == 0);
            QTRY_COMPARE(comm(gpsd->processId()), QByteArray("gpsd\n"));
        }
        const auto fill = [&](QString text) {
            return text.replace("@a", port)
                .replace("@pty", pty)
                .replace("@dir", dir.path())
                .replace("@self", QString::number(QCoreApplication::applicationPid()))
                .replace("@pid", QString::number(gpsd ? gpsd->processId() : 0));
        };
        QScopedPointer<QProcess> tool(start(user, RADIOCONF_CLI, fill(args).split(' ')));
        QVERIFY(tool->waitForFinished(60000));
        ioctl(slave, TIOCNXCL);
        const QString output = QString::fromUtf8(tool->readAll());
        checkJsonLines(output.toUtf8());
        QCOMPARE(tool->exitCode(), exitCode);
        for (const QString &text : fill(texts).split('|'))
            QVERIFY2(output.contains(text), qPrintable(output));
        // A port that is not there, or a name no port has, is told at once.
        QCOMPARE(output.contains(": opening"), attempts);
        if (gpsd) {
            gpsd->kill();
            QVERIFY(gpsd->waitForFinished(30000));
        }
    }
};

QTEST_GUILESS_MAIN(TestCliDiagnosis)
#include "tst_clidiagnosis.moc"
