// GLib before Qt: Qt's "signals" keyword clashes with GLib's headers.
#include <umockdev.h>

#include "simulator/virtualadapter.h"

#include <QByteArray>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray hex4(quint16 value)
{
    return QByteArray::number(value, 16).rightJustified(4, '0');
}

// Any version, or a path to it.
bool holdsPreload(const QString &ldPreload)
{
    return ldPreload.contains(QLatin1String("libumockdev-preload"));
}

} // namespace

VirtualAdapter::VirtualAdapter() : m_testbed(umockdev_testbed_new()) {}

VirtualAdapter::~VirtualAdapter()
{
    const auto names = m_ports.keys();
    for (const QString &name : names)
        unplug(name);
    const auto disks = m_disks.keys();
    for (const QString &disk : disks)
        unplugDisk(disk);
    g_object_unref(m_testbed);
}

bool VirtualAdapter::preloaded()
{
    return holdsPreload(qEnvironmentVariable("LD_PRELOAD"));
}

QString VirtualAdapter::withPreload(const QString &ldPreload)
{
    if (holdsPreload(ldPreload))
        return ldPreload;
    const QString library = QStringLiteral("libumockdev-preload.so.0");
    return ldPreload.isEmpty() ? library : library + QLatin1Char(' ') + ldPreload;
}

bool VirtualAdapter::addDevices(const QByteArray &description)
{
    GError *error = nullptr;
    const bool ok = umockdev_testbed_add_from_string(m_testbed, description.constData(), &error);
    if (!ok) {
        qWarning("VirtualAdapter: %s", error ? error->message : "cannot add device");
        g_clear_error(&error);
    }
    return ok;
}

bool VirtualAdapter::plug(const QString &name, quint16 vendorId, quint16 productId,
                          const QString &model)
{
    if (m_ports.contains(name) || name.isEmpty())
        return false;
    const int n = ++m_counter;
    const QByteArray tty = name.toUtf8();
    const QByteArray vid = hex4(vendorId);
    const QByteArray pid = hex4(productId);
    const QByteArray product = model.toUtf8();
    const QByteArray usb = "/devices/pci0000:00/usb" + QByteArray::number(n);
    const QByteArray ttyPath = usb + "/" + tty;
    const QByteArray serial = "VA" + QByteArray::number(n).rightJustified(4, '0');

    // The format of umockdev-record: P path, E udev property, A attribute,
    // L link, N device node (a tty node becomes a pseudo-terminal).
    QByteArray description;
    description += "P: " + usb + "\n";
    description += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n";
    description += "E: ID_VENDOR_ID=" + vid + "\nE: ID_MODEL_ID=" + pid + "\n";
    description += "A: idVendor=" + vid + "\nA: idProduct=" + pid + "\n";
    description += "A: product=" + product + "\n";
    // QSerialPortInfo skips a tty whose parent has no driver.
    description += "L: driver=../../../bus/usb/drivers/usb\n\n";
    description += "P: " + ttyPath + "\n";
    description += "E: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + tty + "\n";
    description += "E: ID_VENDOR_ID=" + vid + "\nE: ID_MODEL_ID=" + pid + "\n";
    description += "E: ID_MODEL=" + product + "\nE: ID_MODEL_FROM_DATABASE=" + product + "\n";
    description += "E: ID_SERIAL_SHORT=" + serial + "\n";
    description += "A: dev=188:" + QByteArray::number(n) + "\n";
    return addPort(name, description, usb, ttyPath);
}

bool VirtualAdapter::plugWithoutUsb(const QString &name)
{
    if (m_ports.contains(name) || name.isEmpty())
        return false;
    const int n = ++m_counter;
    const QByteArray tty = name.toUtf8();
    const QByteArray parent = "/devices/platform/uart" + QByteArray::number(n);
    const QByteArray ttyPath = parent + "/tty/" + tty;
    QByteArray description;
    description += "P: " + parent + "\nE: SUBSYSTEM=platform\n";
    // Not serial8250: Qt probes those with an ioctl a pseudo-terminal fails.
    description += "L: driver=../../../bus/platform/drivers/uart-pl011\n\n";
    description += "P: " + ttyPath + "\n";
    description += "E: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + tty + "\n";
    description += "A: dev=204:" + QByteArray::number(n) + "\n";
    return addPort(name, description, parent, ttyPath);
}

bool VirtualAdapter::addPort(const QString &name, const QByteArray &description,
                             const QByteArray &parentPath, const QByteArray &ttyPath)
{
    Port port;
    port.parentPath = "/sys" + QString::fromUtf8(parentPath);
    port.childPath = "/sys" + QString::fromUtf8(ttyPath);
    const QByteArray tty = name.toUtf8();
    if (!openLine(tty, &port))
        return false;
    if (!addDevices(description)) {
        closeLine(tty, &port);
        return false;
    }
    m_ports.insert(name, port);
    return true;
}

// The test bed's own pseudo-terminals cannot be re-created under the same
// name nor hung up, so each port gets one of ours, linked where the preload
// library looks for device nodes.
bool VirtualAdapter::openLine(const QByteArray &tty, Port *port)
{
    int master = -1;
    int slave = -1;
    char slaveName[128];
    if (openpty(&master, &slave, slaveName, nullptr, nullptr) != 0) {
        qWarning("VirtualAdapter: openpty failed");
        return false;
    }
    termios attributes;
    if (tcgetattr(slave, &attributes) == 0) {
        cfmakeraw(&attributes);
        tcsetattr(slave, TCSANOW, &attributes);
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    const QByteArray devDir = rootDir().toUtf8() + "/dev";
    ::mkdir(devDir.constData(), 0755);
    const QByteArray link = devDir + "/" + tty;
    ::unlink(link.constData());
    if (::symlink(slaveName, link.constData()) != 0) {
        qWarning("VirtualAdapter: cannot link %s", link.constData());
        ::close(master);
        ::close(slave);
        return false;
    }
    port->master = master;
    port->slave = slave;
    return true;
}

void VirtualAdapter::closeLine(const QByteArray &tty, Port *port)
{
    const QByteArray link = rootDir().toUtf8() + "/dev/" + tty;
    ::unlink(link.constData());
    hangUpLine(port);
}

void VirtualAdapter::hangUpLine(Port *port)
{
    // Closing both ends of our side drops the line: the application's
    // descriptor then reports a hang-up, as with an adapter pulled out.
    if (port->master >= 0)
        ::close(port->master);
    if (port->slave >= 0)
        ::close(port->slave);
    port->master = -1;
    port->slave = -1;
}

void VirtualAdapter::hangUp(const QString &name)
{
    auto it = m_ports.find(name);
    if (it != m_ports.end())
        closeLine(name.toUtf8(), &it.value());
}

void VirtualAdapter::removeAll(const Port &port)
{
    // Children first, as the kernel announces them.
    const QStringList paths{port.childPath, port.parentPath};
    for (const QString &path : qAsConst(paths)) {
        if (path.isEmpty())
            continue;
        const QByteArray p = path.toUtf8();
        umockdev_testbed_uevent(m_testbed, p.constData(), "remove");
        umockdev_testbed_remove_device(m_testbed, p.constData());
    }
}

void VirtualAdapter::unplug(const QString &name)
{
    auto it = m_ports.find(name);
    if (it == m_ports.end())
        return;
    Port port = it.value();
    m_ports.erase(it);
    removeAll(port);
    closeLine(name.toUtf8(), &port);
}

bool VirtualAdapter::plugDisk(const QString &disk)
{
    if (m_disks.contains(disk) || disk.isEmpty())
        return false;
    const QByteArray name = disk.toUtf8();
    const QByteArray diskPath = "/devices/virtual/block/" + name;
    const QByteArray partPath = diskPath + "/" + name + "1";
    const QByteArray n = QByteArray::number(++m_counter * 16);
    QByteArray description;
    // A node needs contents (hex) after "=": one zero byte.
    description += "P: " + diskPath + "\nN: " + name + "=00\n";
    description += "E: SUBSYSTEM=block\nE: DEVTYPE=disk\nE: DEVNAME=/dev/" + name + "\n";
    description += "A: dev=8:" + n + "\nA: size=1000\n\n";
    description += "P: " + partPath + "\nN: " + name + "1=00\n";
    description += "E: SUBSYSTEM=block\nE: DEVTYPE=partition\nE: DEVNAME=/dev/" + name + "1\n";
    description += "A: dev=8:" + n + "1\nA: size=900\n";
    if (!addDevices(description))
        return false;
    Port entry;
    entry.parentPath = "/sys" + QString::fromUtf8(diskPath);
    entry.childPath = "/sys" + QString::fromUtf8(partPath);
    m_disks.insert(disk, entry);
    return true;
}

void VirtualAdapter::unplugDisk(const QString &disk)
{
    auto it = m_disks.find(disk);
    if (it == m_disks.end())
        return;
    const Port entry = it.value();
    m_disks.erase(it);
    removeAll(entry);
}

QString VirtualAdapter::processPortName(int index)
{
    return QStringLiteral("ttyUSB%1").arg(qint64(::getpid()) * 10 + index);
}

int VirtualAdapter::farEnd(const QString &name) const
{
    return m_ports.value(name).master;
}

QString VirtualAdapter::rootDir() const
{
    gchar *dir = umockdev_testbed_get_root_dir(m_testbed);
    const QString result = QString::fromUtf8(dir);
    g_free(dir);
    return result;
}
