#ifndef VIRTUALADAPTER_H
#define VIRTUALADAPTER_H

#include "discovery/usbadapter.h"

#include <QMap>
#include <QString>
#include <QStringList>

typedef struct _UMockdevTestbed UMockdevTestbed;

// A umockdev test bed with USB serial adapters that can be plugged in and
// pulled out. libudev, and so QSerialPortInfo, see them as real devices; the
// port's far end is a pseudo-terminal descriptor held here. Processes that
// use it must run with the umockdev preload library (umockdev-wrapper).
class VirtualAdapter
{
public:
    static constexpr quint16 Cp210xVendor = RECOGNISED_ADAPTERS[0].vendorId;
    static constexpr quint16 Cp210xProduct = RECOGNISED_ADAPTERS[0].productId;
    static constexpr quint16 CypressVendor = RECOGNISED_ADAPTERS[1].vendorId;
    static constexpr quint16 CypressProduct = RECOGNISED_ADAPTERS[1].productId;

    VirtualAdapter();
    ~VirtualAdapter();
    VirtualAdapter(const VirtualAdapter &) = delete;
    VirtualAdapter &operator=(const VirtualAdapter &) = delete;

    // True when the umockdev preload library is loaded into this process.
    // (umockdev's own test for it must not be asked before a test bed
    // exists: it then stops the bed's "add" events from reaching monitors.)
    static bool preloaded();
    // ldPreload (an LD_PRELOAD value) with the umockdev preload library
    // first, unless it holds it already.
    static QString withPreload(const QString &ldPreload);
    // Port names of this process's own, such as "ttyUSB42420" for index 0
    // (up to 9). Qt locks a serial port through a file named after it in the
    // machine-wide lock directory, so processes that open "ttyUSB0" at once
    // would keep each other out; tests and benchmarks use these names instead.
    static QString processPortName(int index = 0);

    // Plugs a USB adapter whose tty is /dev/<name> (e.g. "ttyUSB0"); sends
    // the udev "add" events. Returns false if the name is taken.
    bool plug(const QString &name, quint16 vendorId, quint16 productId,
              const QString &model = QStringLiteral("CP2102 USB to UART Bridge Controller"));
    // A serial port with a driver but no USB identifiers, like a built-in one.
    bool plugWithoutUsb(const QString &name);
    // Sends the udev "remove" events, takes the device out of the test bed
    // and drops its line, so that a port still open sees a hang-up.
    void unplug(const QString &name);
    // Drops the line and its device node of a port that udev still lists:
    // the node goes too, since the freed pseudo-terminal's number may be
    // handed to another process's line at once.
    void hangUp(const QString &name);
    // Plugs a block device (disk with one partition) for device-watcher tests.
    bool plugDisk(const QString &disk);
    void unplugDisk(const QString &disk);

    bool isPlugged(const QString &name) const { return m_ports.contains(name); }
    QStringList ports() const { return m_ports.keys(); }
    // Descriptor of the far end of the port's line; -1 when not plugged or
    // hung up. Owned by the adapter: do not close it.
    int farEnd(const QString &name) const;
    QString rootDir() const;

private:
    struct Port
    {
        QString parentPath;
        QString childPath; // the tty, or a disk's partition
        int master = -1;   // far end of the line
        int slave = -1;    // held open so that the line stays up between opens
    };

    bool addDevices(const QByteArray &description);
    bool addPort(const QString &name, const QByteArray &description, const QByteArray &parentPath,
                 const QByteArray &ttyPath);
    bool openLine(const QByteArray &tty, Port *port);
    void closeLine(const QByteArray &tty, Port *port);
    static void hangUpLine(Port *port);
    void removeAll(const Port &port);

    UMockdevTestbed *m_testbed = nullptr;
    QMap<QString, Port> m_ports;
    QMap<QString, Port> m_disks;
    int m_counter = 0;
};

#endif // VIRTUALADAPTER_H
