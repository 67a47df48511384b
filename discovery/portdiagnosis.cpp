#include "discovery/portdiagnosis.h"

#include <cerrno>

namespace {

using Cause = PortDiagnosis::Cause;
using Process = PortDiagnosis::Process;

// Linux's file systems take names of up to 255 bytes (NAME_MAX).
constexpr int MAX_NAME_BYTES = 255;

const QString UDEV_RULE =
    QStringLiteral("install the radioconf packages' udev rule "
                   "(/usr/lib/udev/rules.d/60-radioconf-cli.rules or 60-radioconf.rules) and "
                   "plug the adapter in again");

PortDiagnosis make(Cause cause, const QString &problem, const QString &fix)
{
    PortDiagnosis diagnosis;
    diagnosis.cause = cause;
    diagnosis.problem = problem;
    diagnosis.fix = fix;
    return diagnosis;
}

// Where the right port is to be found.
QString otherPort(const QStringList &attached)
{
    if (attached.isEmpty())
        return QStringLiteral("no recognised adapter is attached: plug the module's adapter in "
                              "(radioconf-cli list --all shows every serial port)");
    return QStringLiteral("recognised adapters attached: %1; give one of them to --port")
        .arg(attached.join(QStringLiteral(", ")));
}

PortDiagnosis noPermission(const PortDiagnosis::Facts &facts)
{
    const QString who = QStringLiteral("this user (%1)").arg(facts.user);
    if (!facts.groupMayOpen)
        return make(Cause::NoPermission,
                    QStringLiteral("%1 opens for its owner only, not for %2").arg(facts.path, who),
                    UDEV_RULE);
    if (facts.inGroup)
        return make(Cause::NoPermission,
                    QStringLiteral("the system refuses %1 (%2) although %3 is in its group %4")
                        .arg(facts.path, qt_error_string(facts.openError), who, facts.group),
                    QStringLiteral("an access list or security policy may deny it (getfacl %1); "
                                   "or %2")
                        .arg(facts.path, UDEV_RULE));
    if (facts.listedInGroup)
        return make(Cause::NoPermission,
                    QStringLiteral("%1 belongs to group %2, which %3 joined after this login")
                        .arg(facts.path, facts.group, who),
                    QStringLiteral("log out and in again (or start a shell in the group: newgrp "
                                   "%1)")
                        .arg(facts.group));
    return make(Cause::NoPermission,
                QStringLiteral("%1 belongs to group %2, which %3 is not in")
                    .arg(facts.path, facts.group, who),
                QStringLiteral("join it and log in again (sudo usermod -aG %1 %2), or %3")
                    .arg(facts.group, facts.user, UDEV_RULE));
}

PortDiagnosis held(const PortDiagnosis::Facts &facts)
{
    // Qt takes the lock file before it opens the node: a live lock holder
    // is what it met; otherwise the node refused it as in exclusive use.
    const bool locked = facts.lockHolder.pid && facts.lockHolderAlive;
    const QList<Process> processes = locked ? QList<Process>{facts.lockHolder} : facts.holders;
    const QString unseen =
        QStringLiteral("%1 is in exclusive use by a process this user cannot see").arg(facts.path);
    const QString fuser = QStringLiteral("sudo fuser -v %1 names it").arg(facts.path);
    if (processes.isEmpty() && facts.grabbers.isEmpty())
        return make(Cause::Held, unseen,
                    fuser + QStringLiteral("; ModemManager, gpsd and brltty are the usual ones"));
    if (processes.isEmpty()) {
        // One that is known to take adapters is the likely one.
        QStringList names;
        QStringList fixes;
        for (const Process &grabber : facts.grabbers) {
            names << QStringLiteral("%1 (pid %2)").arg(grabber.name).arg(grabber.pid);
            if (!fixes.contains(PortDiagnosis::grabberFix(grabber.name)))
                fixes << PortDiagnosis::grabberFix(grabber.name);
        }
        return make(Cause::Held,
                    unseen +
                        QStringLiteral(", likely %1, which %2 running")
                            .arg(names.join(QStringLiteral(" or ")),
                                 names.size() == 1 ? QStringLiteral("is") : QStringLiteral("are")),
                    fuser + QStringLiteral("; ") + fixes.join(QStringLiteral("; ")));
    }
    QStringList names;
    QStringList fixes;
    for (const Process &process : processes) {
        names << QStringLiteral("%1 (pid %2%3)")
                     .arg(process.name)
                     .arg(process.pid)
                     .arg(locked ? QStringLiteral(", through the lock file ") + facts.lockFile
                                 : QString());
        QString fix = PortDiagnosis::grabberFix(process.name);
        if (fix.isEmpty())
            fix = QStringLiteral("end %1 (kill %2) or close the port in it")
                      .arg(process.name)
                      .arg(process.pid);
        if (!fixes.contains(fix))
            fixes << fix;
    }
    return make(
        Cause::Held,
        QStringLiteral("%1 is in use by %2").arg(facts.path, names.join(QStringLiteral(" and "))),
        fixes.join(QStringLiteral("; ")));
}

} // namespace

PortDiagnosis PortDiagnosis::diagnose(const Facts &facts)
{
    const QString path = facts.path;
    switch (facts.statError) {
    case 0:
        break;
    case ENOENT:
    case ENOTDIR:
        return make(NoSuchPort, QStringLiteral("there is no %1").arg(path),
                    otherPort(facts.attached));
    case ENAMETOOLONG:
        return make(NameRefused,
                    QStringLiteral("the system refuses the port's path as too long (%1 "
                                   "characters)")
                        .arg(path.size()),
                    otherPort(facts.attached));
#ifdef ELOOP // not in every C library of Windows
    case ELOOP:
#endif
    case EINVAL:
    case EILSEQ:
        return make(
            NameRefused,
            QStringLiteral("the system refuses the name: %1").arg(qt_error_string(facts.statError)),
            otherPort(facts.attached));
    default:
        return make(Other,
                    QStringLiteral("the system cannot look up %1: %2")
                        .arg(path, qt_error_string(facts.statError)),
                    otherPort(facts.attached));
    }
    const int lockNameBytes = lockFileName(path).toLocal8Bit().size();
    if (lockNameBytes > MAX_NAME_BYTES)
        return make(NameRefused,
                    QStringLiteral("the name is too long for the port's lock file (%1 bytes; "
                                   "the system allows %2)")
                        .arg(lockNameBytes)
                        .arg(MAX_NAME_BYTES),
                    otherPort(facts.attached));

    if (facts.type != CharDevice) {
        const QString what = facts.type == Directory     ? QStringLiteral("is a folder")
                             : facts.type == RegularFile ? QStringLiteral("is a file")
                                                         : QStringLiteral("is no character device");
        return make(NotSerial, QStringLiteral("%1 %2, not a serial port").arg(path, what),
                    otherPort(facts.attached));
    }
    if (facts.openError == EACCES || facts.openError == EPERM)
        return noPermission(facts);
    if ((facts.lockHolder.pid && facts.lockHolderAlive) || facts.openError == EBUSY)
        return held(facts);
    if (facts.lockFile.isEmpty())
        return make(LockFile,
                    QStringLiteral("no lock folder is writable for this user (%1)").arg(facts.user),
                    QStringLiteral("make the system's writable for all, as it is by default "
                                   "(sudo chmod 1777 /run/lock)"));
    if (facts.lockHolder.pid && !facts.lockRemovable)
        return make(LockFile,
                    QStringLiteral("the lock file %1 of a process that has ended (pid %2) is in "
                                   "the way, and this user (%3) may not remove it")
                        .arg(facts.lockFile)
                        .arg(facts.lockHolder.pid)
                        .arg(facts.user),
                    QStringLiteral("remove it: sudo rm %1").arg(facts.lockFile));
    if (facts.openError)
        return make(Other,
                    QStringLiteral("the system refuses to open %1: %2")
                        .arg(path, qt_error_string(facts.openError)),
                    QStringLiteral("unplug the adapter and plug it in again"));
    if (facts.termiosError)
        return make(NotSerial,
                    QStringLiteral("%1 is a device but not a serial port (%2)")
                        .arg(path, qt_error_string(facts.termiosError)),
                    otherPort(facts.attached));
    return make(Opens, QStringLiteral("nothing keeps %1 closed now").arg(path),
                QStringLiteral("try again"));
}

QString PortDiagnosis::systemLocation(const QString &port)
{
    if (port.startsWith(QLatin1Char('/')) || port.startsWith(QLatin1String("./")) ||
        port.startsWith(QLatin1String("../")))
        return port;
    return QStringLiteral("/dev/") + port;
}

QString PortDiagnosis::lockFileName(const QString &port)
{
    QString name = systemLocation(port);
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    return QStringLiteral("LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
}

PortDiagnosis::Process PortDiagnosis::parseLockFile(const QByteArray &contents)
{
    const QList<QByteArray> lines = contents.split('\n');
    Process process;
    bool ok = false;
    const qint64 pid = lines.value(0).trimmed().toLongLong(&ok);
    if (!ok || pid <= 0)
        return process;
    process.pid = pid;
    // The program as QLockFile writes it, a path or a name.
    process.name = QString::fromLocal8Bit(lines.value(1).trimmed()).section(QLatin1Char('/'), -1);
    return process;
}

QStringList PortDiagnosis::grabberPrograms()
{
    return {QStringLiteral("ModemManager"), QStringLiteral("gpsd"), QStringLiteral("brltty")};
}

QString PortDiagnosis::grabberFix(const QString &program)
{
    if (program == QLatin1String("ModemManager"))
        return QStringLiteral("ModemManager probes serial adapters for modems: stop it (sudo "
                              "systemctl stop ModemManager), and where no modem is used disable "
                              "it (sudo systemctl disable ModemManager)");
    if (program == QLatin1String("gpsd"))
        return QStringLiteral("gpsd's own udev rules start it on 10C4:EA60 adapters: stop it "
                              "(sudo systemctl stop gpsd.socket gpsd) and set USBAUTO=\"false\" "
                              "in /etc/default/gpsd, or where no GPS receiver is used remove it "
                              "(sudo apt remove gpsd)");
    if (program == QLatin1String("brltty"))
        return QStringLiteral("brltty takes some serial adapters for braille displays: where no "
                              "braille display is used remove it (sudo apt remove brltty)");
    if (program.startsWith(QLatin1String("radioconf")))
        return QStringLiteral("another radioconf is using the port: let it finish, or close it");
    return QString();
}
