// udevrules FILE: writes the udev rule of the recognised adapters to FILE.
// The build runs it, so the rule names exactly the adapters of the table.
#include "discovery/usbadapter.h"

#include <QByteArray>
#include <QSaveFile>

#include <cstdio>

namespace {

const char HEADER[] = R"(# radioconf: the USB serial adapters its modules come on.
# Written at build time from radioconf's table of adapters
# (discovery/usbadapter.h): change the table, not this file.
#
# For the serial port of each adapter:
# - TAG+="uaccess" gives the user of the local session at the seat access to
#   the port without joining the group dialout. systemd's 73-seat-late.rules
#   grants it, and udev reads all rule files in the order of their names, so
#   this file's name starts with 60 to come before it; after it, the tag would
#   do nothing.
# - ENV{ID_MM_DEVICE_IGNORE}="1" keeps ModemManager from probing the port for
#   a modem: its AT commands would reach the module and it would hold the port
#   open. ModemManager reads the flag from the port as from its USB device;
#   these adapters have no port but the tty, so it is set there only.
)";

QByteArray hex4(quint16 id)
{
    // As sysfs writes idVendor and idProduct.
    return QByteArray::number(id, 16).rightJustified(4, '0');
}

QByteArray rules()
{
    QByteArray text = HEADER;
    for (const UsbAdapter &adapter : RECOGNISED_ADAPTERS)
        text += "\n# " + QByteArray(adapter.chip) + "\nSUBSYSTEM==\"tty\", ATTRS{idVendor}==\"" +
                hex4(adapter.vendorId) + "\", ATTRS{idProduct}==\"" + hex4(adapter.productId) +
                "\", TAG+=\"uaccess\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n";
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: udevrules FILE\n");
        return 2;
    }
    // All or nothing: a failed run leaves no half-written rule behind.
    QSaveFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly) || file.write(rules()) < 0 || !file.commit()) {
        std::fprintf(stderr, "udevrules: cannot write %s: %s\n", argv[1],
                     qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
