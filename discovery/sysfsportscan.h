#ifndef SYSFSPORTSCAN_H
#define SYSFSPORTSCAN_H

#include <QStringList>

#include <optional>

// Names the serial ports of the recognised adapters from Linux's sysfs: for
// each tty, the USB identifiers of the device it hangs off. It reads two
// attributes a port, where QSerialPortInfo resolves every port's udev entry
// and description; a caller that needs the names alone (radioconf-cli --all)
// starts its exchanges that much sooner, and the more adapters, the more so.
class SysfsPortScan
{
public:
    // Sorted by name; none where sysfs cannot be read (not Linux, or no /sys).
    static std::optional<QStringList> recognisedPorts();
};

#endif // SYSFSPORTSCAN_H
