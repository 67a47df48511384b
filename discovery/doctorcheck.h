#ifndef DOCTORCHECK_H
#define DOCTORCHECK_H

#include "discovery/portdiagnosis.h"

#include <QJsonObject>

// One check of the machine (radioconf-cli doctor): whether it passes, what
// was found and, when it fails, what to do. Pure: no I/O.
struct DoctorCheck
{
    QString check; // "adapters", "port", a program's name, "udev rule"
    QString port;  // of a "port" check
    bool ok = true;
    QString detail;
    QString fix; // empty when it passes

    struct Port
    {
        QString name;
        PortDiagnosis diagnosis;
    };
    // A program that takes serial adapters, its processes and the ports
    // they hold.
    struct Grabber
    {
        QString program;
        QList<PortDiagnosis::Process> running;
        QStringList held;
        bool hidden = false; // its descriptors are closed to this user
    };
    struct Facts
    {
        bool portGiven = false; // the ports named are checked, not the adapters
        QStringList adapters;   // "ttyUSB0 (CP210x 10C4:EA60)"
        QList<Port> ports;
        QString user;
        bool onLinux = true; // the checks of processes and udev apply
        QList<Grabber> grabbers;
        QString udevRule; // the rules file found; empty when none
    };

    // The tool's exit code when a check fails.
    static constexpr int FAILED = 1;
    static QList<DoctorCheck> evaluate(const Facts &facts);
    static int exitCode(const QList<DoctorCheck> &checks);

    // "ok    adapters: ..." or "FAIL  gpsd: ...; what to do".
    QString text() const;
    QJsonObject json() const;
};

#endif // DOCTORCHECK_H
