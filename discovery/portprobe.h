#ifndef PORTPROBE_H
#define PORTPROBE_H

#include "discovery/portdiagnosis.h"

#include <optional>

// Gathers what PortDiagnosis goes by from the system: the port's node, its
// group, its lock file and the processes that have it open (Linux's POSIX
// calls and /proc). Elsewhere it falls back to Qt's reason.
class PortProbe
{
public:
    // What stat alone tells, before any attempt to open the port: no such
    // port, a name the system refuses, no device of a serial port. None
    // when it may open, and off Linux.
    static std::optional<PortDiagnosis> beforeOpen(const QString &port);
    // Why the port does not open, or Opens. On Linux it opens the node once
    // for the facts, without its lock file; elsewhere it asks Qt.
    static PortDiagnosis diagnose(const QString &port);

    // The user this process runs as.
    static QString userName();
    // Running processes whose program has one of the names; none off Linux.
    static QList<PortDiagnosis::Process> processesNamed(const QStringList &names);
    // The processes, other than this one, with the port's node open, as far
    // as this user may see.
    static QList<PortDiagnosis::Process> holders(const QString &port);
    // Whether this user may see which files a process has open.
    static bool descriptorsVisible(qint64 pid);
    // The radioconf packages' udev rules file installed; empty when none.
    static QString udevRule();
};

#endif // PORTPROBE_H
