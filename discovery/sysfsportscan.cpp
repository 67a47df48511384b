#include "discovery/sysfsportscan.h"

#include "discovery/detectdevicethread.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_LINUX
namespace {

// A USB serial port's tty sits a few levels below its USB device, four in
// .../1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0.
constexpr int MAX_LEVELS = 6;

std::optional<quint16> hexAttribute(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const quint16 value = file.read(16).trimmed().toUShort(&ok, 16);
    return ok ? std::optional<quint16>(value) : std::nullopt;
}

} // namespace
#endif

std::optional<QStringList> SysfsPortScan::recognisedPorts()
{
#ifdef Q_OS_LINUX
    const QString classDir = QStringLiteral("/sys/class/tty");
    const QDir ttys(classDir);
    if (!ttys.exists())
        return std::nullopt;
    QStringList names;
    const QStringList entries =
        ttys.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QString &name : entries) {
        QString device = QFile::symLinkTarget(classDir + QLatin1Char('/') + name);
        // Consoles and pseudo-terminals hang off no device.
        if (device.isEmpty() || device.contains(QLatin1String("/devices/virtual/")))
            continue;
        for (int level = 0; level < MAX_LEVELS; ++level) {
            device.truncate(device.lastIndexOf(QLatin1Char('/')));
            if (!device.startsWith(QLatin1String("/sys/devices/")))
                break;
            const std::optional<quint16> vendor = hexAttribute(device + "/idVendor");
            if (!vendor)
                continue;
            const std::optional<quint16> product = hexAttribute(device + "/idProduct");
            if (product && DetectDeviceThread::isRecognised(*vendor, *product))
                names << name;
            break;
        }
    }
    names.sort();
    return names;
#else
    return std::nullopt;
#endif
}
