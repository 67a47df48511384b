// Why a port does not open, from the facts gathered about it, where the
// end-to-end table cannot set the facts up; and the doctor's verdicts.
#include "discovery/doctorcheck.h"

#include <QtTest>

#include <cerrno>
#include <functional>

using Facts = PortDiagnosis::Facts;
Q_DECLARE_METATYPE(Facts)

// A port of the dialout group that opens for alice; each row changes what
// keeps it closed.
static Facts port(std::function<void(Facts &)> change)
{
    Facts facts;
    facts.path = "/dev/ttyUSB0";
    facts.user = "alice";
    facts.group = "dialout";
    facts.groupMayOpen = true;
    facts.lockFile = "/var/lock/LCK..ttyUSB0";
    change(facts);
    return facts;
}

class TestPortDiagnosis : public QObject
{
    Q_OBJECT

private slots:
    void diagnose_data()
    {
        QTest::addColumn<Facts>("facts");
        QTest::addColumn<int>("cause");
        QTest::addColumn<QString>("text");
        const QString rule = "install the radioconf packages' udev rule (/usr/lib/udev/rules.d/"
                             "60-radioconf-cli.rules or 60-radioconf.rules) and plug the adapter "
                             "in again";
        QTest::newRow("group joined after the login")
            << port([](Facts &f) {
                   f.openError = EACCES;
                   f.listedInGroup = true;
               })
            << int(PortDiagnosis::NoPermission)
            << "/dev/ttyUSB0 belongs to group dialout, which this user (alice) joined after this "
               "login; log out and in again (or start a shell in the group: newgrp dialout)";
        QTest::newRow("node for its owner only")
            << port([](Facts &f) {
                   f.openError = EACCES;
                   f.groupMayOpen = false;
               })
            << int(PortDiagnosis::NoPermission)
            << "/dev/ttyUSB0 opens for its owner only, not for this user (alice); " + rule;
        // A program known to take adapters is running: likely the one.
        QTest::newRow("exclusive, holder unseen")
            << port([](Facts &f) {
                   f.openError = EBUSY;
                   f.grabbers = {{812, "ModemManager"}};
               })
            << int(PortDiagnosis::Held)
            << "/dev/ttyUSB0 is in exclusive use by a process this user cannot see, likely "
               "ModemManager (pid 812), which is running; sudo fuser -v /dev/ttyUSB0 names it; " +
                   PortDiagnosis::grabberFix("ModemManager");
        // Qt met the lock file first; the descriptors of others did not keep it out.
        QTest::newRow("lock file")
            << port([](Facts &f) {
                   f.lockHolder = {7, "radioconf-cli"};
                   f.lockHolderAlive = true;
                   f.holders = {{7, "radioconf-cli"}, {9, "brltty"}};
               })
            << int(PortDiagnosis::Held)
            << "/dev/ttyUSB0 is in use by radioconf-cli (pid 7, through the lock file "
               "/var/lock/LCK..ttyUSB0); another radioconf is using the port: let it finish, or "
               "close it";
        QTest::newRow("exclusive, two holders")
            << port([](Facts &f) {
                   f.openError = EBUSY;
                   f.holders = {{9, "brltty"}, {12, "minicom"}};
               })
            << int(PortDiagnosis::Held)
            << "/dev/ttyUSB0 is in use by brltty (pid 9) and minicom (pid 12); brltty takes some "
               "serial adapters for braille displays: where no braille display is used remove it "
               "(sudo apt remove brltty); end minicom (kill 12) or close the port in it";
        QTest::newRow("stale lock file of another user")
            << port([](Facts &f) {
                   f.lockHolder = {99, "a process"};
                   f.lockRemovable = false;
               })
            << int(PortDiagnosis::LockFile)
            << "the lock file /var/lock/LCK..ttyUSB0 of a process that has ended (pid 99) is in "
               "the way, and this user (alice) may not remove it; remove it: sudo rm "
               "/var/lock/LCK..ttyUSB0";
        QTest::newRow("stale lock file, removable") << port([](Facts &f) {
            f.lockHolder = {99, "a process"};
        }) << int(PortDiagnosis::Opens) << "nothing keeps /dev/ttyUSB0 closed now; try again";
        QTest::newRow("no lock folder")
            << port([](Facts &f) { f.lockFile.clear(); }) << int(PortDiagnosis::LockFile)
            << "no lock folder is writable for this user (alice); make "
               "the system's writable for all, as it is by default "
               "(sudo chmod 1777 /run/lock)";
        QTest::newRow("too long for its lock file")
            << port([](Facts &f) { f.path = "/tmp/" + QString(250, 'x'); })
            << int(PortDiagnosis::NameRefused)
            << "the name is too long for the port's lock file (260 bytes; the system allows 255); "
               "no recognised adapter is attached: plug the module's adapter in (radioconf-cli "
               "list --all shows every serial port)";
    }

    void diagnose()
    {
        QFETCH(Facts, facts);
        QFETCH(int, cause);
        QFETCH(QString, text);
        const PortDiagnosis diagnosis = PortDiagnosis::diagnose(facts);
        QCOMPARE(diagnosis.text(), text);
        QCOMPARE(int(diagnosis.cause), cause);
    }

    void lockFiles()
    {
        QCOMPARE(PortDiagnosis::lockFileName("ttyUSB0"), QString("LCK..ttyUSB0"));
        QCOMPARE(PortDiagnosis::lockFileName("/dev/pts/3"), QString("LCK..pts_3"));
        QCOMPARE(PortDiagnosis::lockFileName("./ttyX"), QString("LCK..._ttyX"));
        const PortDiagnosis::Process qt = PortDiagnosis::parseLockFile("42\n/usr/bin/gpsd\nhost\n");
        QCOMPARE(qt.pid, qint64(42));
        QCOMPARE(qt.name, QString("gpsd"));
        QCOMPARE(PortDiagnosis::parseLockFile("      4321\n").pid, qint64(4321)); // UUCP's
        QCOMPARE(PortDiagnosis::parseLockFile(QByteArray("\x2a\0\0\0", 4)).pid, qint64(0));
    }

    // The run passes when every check does; a program whose ports this user
    // cannot see fails nothing.
    void doctor()
    {
        DoctorCheck::Facts facts;
        facts.user = "alice";
        facts.adapters = QStringList{"ttyUSB0 (CP210x 10C4:EA60)"};
        facts.ports = {{"ttyUSB0", PortDiagnosis::diagnose(port([](Facts &) {}))}};
        facts.grabbers = {{"ModemManager", {{5, "ModemManager"}}, {}, true}};
        facts.udevRule = "/etc/udev/rules.d/60-radioconf.rules";
        QList<DoctorCheck> checks = DoctorCheck::evaluate(facts);
        QCOMPARE(DoctorCheck::exitCode(checks), 0);
        QCOMPARE(checks.at(2).text(), QString("ok    ModemManager: running (pid 5), which ports it "
                                              "holds only root can tell (sudo radioconf-cli "
                                              "doctor)"));
        facts.grabbers[0].held = QStringList{"ttyUSB0"};
        facts.udevRule.clear();
        checks = DoctorCheck::evaluate(facts);
        QCOMPARE(DoctorCheck::exitCode(checks), DoctorCheck::FAILED);
        QCOMPARE(checks.at(2).json(),
                 QJsonObject({{"check", "ModemManager"},
                              {"ok", false},
                              {"detail", "running (pid 5), holds ttyUSB0"},
                              {"fix", PortDiagnosis::grabberFix("ModemManager")}}));
        QVERIFY(checks.at(3).text().startsWith("FAIL  udev rule: not installed; install the "
                                               "radioconf-cli or radioconf package"));
    }
};

QTEST_GUILESS_MAIN(TestPortDiagnosis)
#include "tst_portdiagnosis.moc"
