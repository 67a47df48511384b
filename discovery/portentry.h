#ifndef PORTENTRY_H
#define PORTENTRY_H

#include <QString>
#include <QtGlobal>

// A serial port as the platform's full scan lists it.
struct PortEntry
{
    QString name;
    bool hasIdentifiers = false;
    quint16 vendorId = 0;
    quint16 productId = 0;
    QString description;
    bool recognised = false;

    // "VVVV:PPPP" in upper-case hex, or "----:----" without USB identifiers.
    QString identifiers() const
    {
        if (!hasIdentifiers)
            return QStringLiteral("----:----");
        return QStringLiteral("%1:%2")
            .arg(vendorId, 4, 16, QLatin1Char('0'))
            .arg(productId, 4, 16, QLatin1Char('0'))
            .toUpper();
    }
};

#endif // PORTENTRY_H
