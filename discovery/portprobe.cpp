#include "discovery/portprobe.h"

#include "discovery/sysfsportscan.h"

#include <QDir>
#include <QFile>
#include <QSerialPort>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <vector>
#endif

using Process = PortDiagnosis::Process;

#ifdef Q_OS_LINUX
namespace {

// Where Qt's serial port looks for its lock file, in its order, before the
// temporary folder: it takes the first readable one that holds the file or
// may create it.
const char *const LOCK_FOLDERS[] = {"/var/lock",         "/etc/locks", "/var/spool/locks",
                                    "/var/spool/uucp",   "/tmp",       "/var/tmp",
                                    "/var/lock/lockdev", "/run/lock"};

// The folders udev reads rules from.
const char *const UDEV_RULE_FOLDERS[] = {"/etc/udev/rules.d", "/usr/lib/udev/rules.d",
                                         "/lib/udev/rules.d"};

// Calls the reentrant form of getpwuid() and getgrgid() (several ports are
// diagnosed side by side) with a buffer large enough for the entry.
template <typename Entry, typename Id, typename Lookup>
bool lookUp(Id id, Entry *entry, std::vector<char> *buffer, Lookup lookup)
{
    buffer->resize(4096);
    for (int tries = 0; tries < 8; ++tries) {
        Entry *found = nullptr;
        const int error = lookup(id, entry, buffer->data(), buffer->size(), &found);
        if (error != ERANGE)
            return error == 0 && found;
        buffer->resize(buffer->size() * 4);
    }
    return false;
}

// The program a process runs, by the name it was started as
// ("/usr/sbin/gpsd" is gpsd); the kernel's name for it when it has no
// command line or has set a title of its own there ("sshd: alice").
QString programName(qint64 pid)
{
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(pid));
    const QByteArray started = commandLine.open(QIODevice::ReadOnly)
                                   ? commandLine.read(4096).split('\0').value(0)
                                   : QByteArray();
    if (!started.isEmpty() && !started.contains(' '))
        return QFile::decodeName(started).section(QLatin1Char('/'), -1);
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed())
                                          : QString();
}

// Calls visit(pid) for every process but this one.
template <typename Visit> void forEachProcess(Visit visit)
{
    DIR *proc = opendir("/proc");
    if (!proc)
        return;
    const qint64 self = getpid();
    while (const dirent *entry = readdir(proc)) {
        bool number = false;
        const qint64 pid = QByteArray(entry->d_name).toLongLong(&number);
        if (number && pid != self)
            visit(pid);
    }
    closedir(proc);
}

bool holdsDevice(qint64 pid, dev_t device)
{
    const QByteArray folder = "/proc/" + QByteArray::number(pid) + "/fd/";
    DIR *descriptors = opendir(folder.constData());
    if (!descriptors)
        return false; // gone, or another user's
    bool holds = false;
    while (const dirent *entry = readdir(descriptors)) {
        struct stat node;
        if (entry->d_name[0] != '.' && ::stat((folder + entry->d_name).constData(), &node) == 0 &&
            S_ISCHR(node.st_mode) && node.st_rdev == device) {
            holds = true;
            break;
        }
    }
    closedir(descriptors);
    return holds;
}

QString groupName(gid_t gid)
{
    group entry;
    std::vector<char> buffer;
    return lookUp(gid, &entry, &buffer, getgrgid_r) ? QString::fromLocal8Bit(entry.gr_name)
                                                    : QString::number(gid);
}

// The node's group, and whether this process and its user belong to it.
void readAccess(const struct stat &node, PortDiagnosis::Facts *facts)
{
    facts->group = groupName(node.st_gid);
    facts->groupMayOpen = (node.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    std::vector<gid_t> groups(getgroups(0, nullptr) + 1);
    groups.resize(std::max(0, getgroups(int(groups.size()), groups.data())));
    groups.push_back(getegid());
    facts->inGroup = std::find(groups.begin(), groups.end(), node.st_gid) != groups.end();
    passwd user;
    std::vector<char> buffer;
    if (!lookUp(geteuid(), &user, &buffer, getpwuid_r))
        return;
    int count = 64;
    std::vector<gid_t> listed(count);
    if (getgrouplist(user.pw_name, user.pw_gid, listed.data(), &count) < 0) {
        listed.resize(count);
        getgrouplist(user.pw_name, user.pw_gid, listed.data(), &count);
    }
    listed.resize(count);
    facts->listedInGroup = std::find(listed.begin(), listed.end(), node.st_gid) != listed.end();
}

// The lock file Qt takes for the port, and the process written in it.
void readLock(const QString &port, PortDiagnosis::Facts *facts)
{
    QStringList folders;
    for (const char *folder : LOCK_FOLDERS)
        folders << QLatin1String(folder);
    folders << QDir::tempPath();
    for (const QString &folder : std::as_const(folders)) {
        const QByteArray directory = QFile::encodeName(folder);
        const QString path = folder + QLatin1Char('/') + PortDiagnosis::lockFileName(port);
        const QByteArray file = QFile::encodeName(path);
        const bool exists = access(file.constData(), F_OK) == 0;
        if (access(directory.constData(), R_OK) != 0 ||
            (!exists && access(directory.constData(), W_OK) != 0))
            continue;
        facts->lockFile = path;
        QFile lock(path);
        if (!exists || !lock.open(QIODevice::ReadOnly))
            return;
        Process holder = PortDiagnosis::parseLockFile(lock.read(4096));
        if (holder.pid <= 0 || holder.pid == getpid() ||
            holder.pid > std::numeric_limits<pid_t>::max())
            return;
        facts->lockHolderAlive = kill(pid_t(holder.pid), 0) == 0 || errno == EPERM;
        const QString running = facts->lockHolderAlive ? programName(holder.pid) : QString();
        if (!running.isEmpty())
            holder.name = running;
        if (holder.name.isEmpty())
            holder.name = QStringLiteral("a process");
        facts->lockHolder = holder;
        // Qt clears a lock file whose process has ended by opening it for
        // writing and unlinking it; a sticky folder keeps others' files.
        struct stat folderNode, lockNode;
        const bool stickyFolder = ::stat(directory.constData(), &folderNode) == 0 &&
                                  (folderNode.st_mode & S_ISVTX) && geteuid() != 0 &&
                                  ::stat(file.constData(), &lockNode) == 0 &&
                                  lockNode.st_uid != geteuid() && folderNode.st_uid != geteuid();
        facts->lockRemovable = access(file.constData(), W_OK) == 0 &&
                               access(directory.constData(), W_OK) == 0 && !stickyFolder;
        return;
    }
}

// The node's status, or errno. Taken through a descriptor that only names
// the node: a path's own stat() may tell what a device database says of it
// (umockdev's test beds do), and the device numbers must be the node's.
int statNode(const QString &path, struct stat *node)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_PATH | O_CLOEXEC);
    if (descriptor < 0)
        return errno;
    const int error = fstat(descriptor, node) == 0 ? 0 : errno;
    ::close(descriptor);
    return error;
}

// The node and what its status tells.
PortDiagnosis::Facts statFacts(const QString &port, struct stat *node)
{
    PortDiagnosis::Facts facts;
    facts.path = PortDiagnosis::systemLocation(port);
    facts.statError = statNode(facts.path, node);
    if (facts.statError == 0 && !S_ISCHR(node->st_mode)) {
        facts.type = S_ISDIR(node->st_mode)   ? PortDiagnosis::Directory
                     : S_ISREG(node->st_mode) ? PortDiagnosis::RegularFile
                                              : PortDiagnosis::OtherType;
    }
    return facts;
}

} // namespace
#endif

std::optional<PortDiagnosis> PortProbe::beforeOpen(const QString &port)
{
#ifdef Q_OS_LINUX
    struct stat node;
    PortDiagnosis::Facts facts = statFacts(port, &node);
    facts.attached = SysfsPortScan::recognisedPorts().value_or(QStringList());
    const PortDiagnosis diagnosis = PortDiagnosis::diagnose(facts);
    if (diagnosis.cause == PortDiagnosis::NoSuchPort ||
        diagnosis.cause == PortDiagnosis::NameRefused ||
        diagnosis.cause == PortDiagnosis::NotSerial)
        return diagnosis;
#else
    Q_UNUSED(port);
#endif
    return std::nullopt;
}

PortDiagnosis PortProbe::diagnose(const QString &port)
{
#ifdef Q_OS_LINUX
    struct stat node;
    PortDiagnosis::Facts facts = statFacts(port, &node);
    facts.attached = SysfsPortScan::recognisedPorts().value_or(QStringList());
    facts.user = userName();
    if (facts.statError == 0 && facts.type == PortDiagnosis::CharDevice) {
        readAccess(node, &facts);
        const int descriptor =
            ::open(QFile::encodeName(facts.path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios settings;
        if (descriptor < 0)
            facts.openError = errno;
        else if (tcgetattr(descriptor, &settings) != 0)
            facts.termiosError = errno;
        if (descriptor >= 0)
            ::close(descriptor);
        readLock(port, &facts);
        facts.holders = holders(port);
        facts.grabbers = processesNamed(PortDiagnosis::grabberPrograms());
    }
    return PortDiagnosis::diagnose(facts);
#else
    PortDiagnosis diagnosis;
    QSerialPort serial(port);
    if (serial.open(QIODevice::ReadWrite)) {
        serial.close();
        diagnosis.problem = QStringLiteral("nothing keeps %1 closed now").arg(port);
        diagnosis.fix = QStringLiteral("try again");
        return diagnosis;
    }
    diagnosis.cause = PortDiagnosis::Other;
    diagnosis.problem = serial.errorString();
    if (serial.error() == QSerialPort::DeviceNotFoundError)
        diagnosis.fix = QStringLiteral("radioconf-cli list --all shows the serial ports");
    else if (serial.error() == QSerialPort::PermissionError)
        diagnosis.fix = QStringLiteral("another program may be using the port");
    else
        diagnosis.fix = QStringLiteral("unplug the adapter and plug it in again");
    return diagnosis;
#endif
}

QString PortProbe::userName()
{
#ifdef Q_OS_LINUX
    passwd user;
    std::vector<char> buffer;
    return lookUp(geteuid(), &user, &buffer, getpwuid_r) ? QString::fromLocal8Bit(user.pw_name)
                                                         : QString::number(geteuid());
#else
    return qEnvironmentVariable("USERNAME");
#endif
}

QList<Process> PortProbe::processesNamed(const QStringList &names)
{
    QList<Process> found;
#ifdef Q_OS_LINUX
    forEachProcess([&](qint64 pid) {
        const QString name = programName(pid);
        if (names.contains(name))
            found << Process{pid, name};
    });
#else
    Q_UNUSED(names);
#endif
    return found;
}

QList<Process> PortProbe::holders(const QString &port)
{
    QList<Process> found;
#ifdef Q_OS_LINUX
    struct stat node;
    if (statNode(PortDiagnosis::systemLocation(port), &node) != 0 || !S_ISCHR(node.st_mode))
        return found;
    forEachProcess([&](qint64 pid) {
        if (holdsDevice(pid, node.st_rdev)) {
            const QString name = programName(pid);
            found << Process{pid, name.isEmpty() ? QStringLiteral("a process") : name};
        }
    });
#else
    Q_UNUSED(port);
#endif
    return found;
}

bool PortProbe::descriptorsVisible(qint64 pid)
{
#ifdef Q_OS_LINUX
    return access(QByteArray("/proc/" + QByteArray::number(pid) + "/fd").constData(), R_OK) == 0;
#else
    Q_UNUSED(pid);
    return false;
#endif
}

QString PortProbe::udevRule()
{
#ifdef Q_OS_LINUX
    for (const char *folder : UDEV_RULE_FOLDERS) {
        const QDir rules{QString::fromLatin1(folder)};
        const QStringList found =
            rules.entryList({QStringLiteral("60-radioconf*.rules")}, QDir::Files);
        if (!found.isEmpty())
            return rules.filePath(found.first());
    }
#endif
    return QString();
}
