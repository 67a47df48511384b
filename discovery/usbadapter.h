#ifndef USBADAPTER_H
#define USBADAPTER_H

#include <QString>
#include <QtGlobal>

// A USB-to-serial adapter that modules come on.
struct UsbAdapter
{
    const char *kind; // radioconf-sim's name for it
    const char *chip; // the name users know it by
    quint16 vendorId;
    quint16 productId;

    // "10C4:EA60"
    QString identifiers() const
    {
        return QStringLiteral("%1:%2")
            .arg(vendorId, 4, 16, QLatin1Char('0'))
            .arg(productId, 4, 16, QLatin1Char('0'))
            .toUpper();
    }
};

// The adapters discovery lists ports of, the only place their identifiers
// are written: the window, radioconf-cli (and through its list command
// scripts/run) and radioconf-sim all go by it. They are matched as pairs.
inline constexpr UsbAdapter RECOGNISED_ADAPTERS[] = {
    {"cp210x", "CP210x", 0x10C4, 0xEA60},
    {"cypress", "Cypress", 0x04B4, 0x0003},
};

#endif // USBADAPTER_H
