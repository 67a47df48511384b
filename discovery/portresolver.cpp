#include "discovery/portresolver.h"

#include "discovery/detectdevicethread.h"
#include "discovery/sysfsportscan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/types.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/sysmacros.h>
#endif

PortResolver::Resolution PortResolver::resolve(const QStringList &named, bool all,
                                               const std::optional<QStringList> &quick,
                                               const FullScan &fullScan)
{
    Resolution result;
    if (!named.isEmpty()) {
        if (all) {
            result.exitCode = 2;
            result.reason = QStringLiteral("--port and --all exclude each other");
        } else if (named.contains(QString())) {
            result.exitCode = 2;
            result.reason = QStringLiteral("--port needs a port name");
        } else {
            result.ports = named;
            result.ports.removeDuplicates();
        }
        return result;
    }
    // The names alone where the platform gives them quickly; the full scan
    // is for the messages, or where the quick one cannot run.
    if (quick && (quick->size() == 1 || (all && !quick->isEmpty()))) {
        result.ports = *quick;
        return result;
    }
    QStringList recognised;
    QStringList found;
    for (const PortEntry &port : fullScan()) {
        found << QStringLiteral("%1 (%2)").arg(port.name, port.identifiers());
        if (port.recognised)
            recognised << port.name;
    }
    if (recognised.size() == 1 || (all && !recognised.isEmpty())) {
        result.ports = recognised;
        return result;
    }
    const QString seen = found.isEmpty() ? QStringLiteral("no serial ports at all")
                                         : QStringLiteral("serial ports: %1").arg(found.join(", "));
    if (recognised.isEmpty()) {
        result.exitCode = 3;
        result.reason = QStringLiteral("no recognised adapter attached (%1)%2")
                            .arg(seen, all ? QString() : QStringLiteral("; give --port"));
    } else {
        result.exitCode = 2;
        result.reason = QStringLiteral("several recognised adapters attached (%1); choose one "
                                       "with --port, or --all")
                            .arg(seen);
    }
    return result;
}

QList<PortEntry> PortResolver::fullScan()
{
    QList<PortEntry> ports;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        PortEntry port;
        port.name = info.portName();
        port.hasIdentifiers = info.hasVendorIdentifier() && info.hasProductIdentifier();
        port.vendorId = info.vendorIdentifier();
        port.productId = info.productIdentifier();
        port.description = info.description();
        port.recognised =
            port.hasIdentifiers && DetectDeviceThread::isRecognised(port.vendorId, port.productId);
        ports << port;
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortEntry &a, const PortEntry &b) { return a.name < b.name; });
    return ports;
}

QStringList PortResolver::recognisedPorts()
{
    // Only a scan that finds nothing gives a reason.
    return resolve({}, true, SysfsPortScan::recognisedPorts(), &PortResolver::fullScan).ports;
}

QString PortResolver::devicePath(const QString &name)
{
#ifdef Q_OS_UNIX
    if (!name.isEmpty() && !name.contains(QLatin1Char('/')))
        return QStringLiteral("/dev/") + name;
#endif
    return name;
}

QMap<QString, QString> PortResolver::devices(const QStringList &names)
{
    QMap<QString, QString> result;
#ifdef Q_OS_WIN
    // COM3 is com3; its name is all there is to tell.
    for (const QString &name : names)
        result.insert(name, name.toUpper());
#else
    // Spellings of one path share one look-up.
    QMap<QString, QString> byPath;
    for (const QString &name : names) {
        const QString path = devicePath(name);
        auto known = byPath.constFind(path);
        if (known == byPath.constEnd()) {
            // The device number tells a node however it is reached; a link
            // in /dev/serial/by-id leads to the same one.
            // Through a descriptor: umockdev's stat() gives the number its
            // test bed made up, and not always the same under load.
            struct stat status;
            QString key;
            const int node = ::open(QFile::encodeName(path).constData(), O_PATH | O_CLOEXEC);
            const bool isDevice =
                node >= 0 && ::fstat(node, &status) == 0 && S_ISCHR(status.st_mode);
            if (node >= 0)
                ::close(node);
            if (isDevice) {
                key = QStringLiteral("char %1:%2")
                          .arg(major(status.st_rdev))
                          .arg(minor(status.st_rdev));
            } else {
                const QString canonical = QFileInfo(path).canonicalFilePath();
                key = canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
            }
            known = byPath.insert(path, key);
        }
        result.insert(name, *known);
    }
#endif
    return result;
}

bool PortResolver::exists(const QString &name)
{
#ifdef Q_OS_WIN
    const QList<PortEntry> ports = fullScan();
    return std::any_of(ports.begin(), ports.end(), [&](const PortEntry &port) {
        return port.name.compare(name, Qt::CaseInsensitive) == 0;
    });
#else
    return QFileInfo::exists(devicePath(name));
#endif
}

QString PortResolver::device(const QString &name, const QMap<QString, QString> &devices)
{
    return devices.value(name, QDir::cleanPath(devicePath(name)));
}

PortResolver::Unique PortResolver::unique(const QStringList &names,
                                          const QMap<QString, QString> &devices)
{
    Unique result;
    QMap<QString, QString> kept; // device -> first spelling
    for (const QString &name : names) {
        const QString node = device(name, devices);
        const auto it = kept.constFind(node);
        if (it != kept.constEnd()) {
            result.dropped << qMakePair(name, *it);
            continue;
        }
        kept.insert(node, name);
        result.ports << name;
    }
    return result;
}
