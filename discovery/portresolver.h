#ifndef PORTRESOLVER_H
#define PORTRESOLVER_H

#include "discovery/portentry.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Which ports a command works on: the ports named, or the recognised
// adapters attached. The choice is pure, over what the scans found; the
// scans and the look-up of device nodes are thin functions beside it.
class PortResolver
{
public:
    // The ports to work on, or why there are none with its exit code.
    struct Resolution
    {
        QStringList ports;
        int exitCode = 0; // 2 or 3 when ports is empty
        QString reason;
    };
    using FullScan = std::function<QList<PortEntry>()>;

    // named: the --port values; all: --all. quick: the sysfs scan's names,
    // none where it cannot run; fullScan runs only when quick cannot decide.
    static Resolution resolve(const QStringList &named, bool all,
                              const std::optional<QStringList> &quick, const FullScan &fullScan);

    // Every serial port the platform lists, sorted by name.
    static QList<PortEntry> fullScan();
    // The recognised adapters' ports: the quick scan, or the full one where
    // it cannot run or finds none.
    static QStringList recognisedPorts();

    // "/dev/ttyUSB0" for "ttyUSB0"; a path stays as it is.
    static QString devicePath(const QString &name);
    // What each name stands for: its device number where the node exists,
    // else the path a link leads to, else devicePath().
    static QMap<QString, QString> devices(const QStringList &names);
    // The port is there: its node exists (on Windows, the platform lists it).
    static bool exists(const QString &name);
    // The device a name stands for in such a map.
    static QString device(const QString &name, const QMap<QString, QString> &devices);

    // Names of one device given in several spellings.
    struct Unique
    {
        QStringList ports;                      // the first spelling of each device
        QList<QPair<QString, QString>> dropped; // (dropped, kept)
    };
    static Unique unique(const QStringList &names, const QMap<QString, QString> &devices);
};

#endif // PORTRESOLVER_H
