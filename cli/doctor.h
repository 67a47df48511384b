#ifndef DOCTOR_H
#define DOCTOR_H

#include <QStringList>
#include <QTextStream>

// radioconf-cli doctor: gathers what DoctorCheck goes by from this machine
// and prints one line per check.
class Doctor
{
public:
    // ports: those to check; empty for every recognised adapter attached.
    // Returns the exit code: 0 when every check passes.
    static int run(const QStringList &ports, bool json, QTextStream &out);
};

#endif // DOCTOR_H
