#ifndef PORTDIAGNOSIS_H
#define PORTDIAGNOSIS_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Why a serial port does not open, worked out from facts gathered about it
// (PortProbe), as a line that names the cause and what to do. Pure: no I/O.
struct PortDiagnosis
{
    enum Cause {
        Opens, // nothing keeps it closed
        NoSuchPort,
        NameRefused, // a name no node can have, or too long for a lock file
        NotSerial,
        NoPermission,
        Held,     // another process has it
        LockFile, // a lock file this user cannot take
        Other,
    };
    enum NodeType { CharDevice, Directory, RegularFile, OtherType };

    // A process, by the name of the program it runs.
    struct Process
    {
        qint64 pid = 0;
        QString name;
    };

    struct Facts
    {
        QString path;      // the node opened, /dev/ttyUSB0
        int statError = 0; // errno of stat(); 0 when the node is there
        NodeType type = CharDevice;
        int openError = 0;    // errno of opening it for reading and writing
        int termiosError = 0; // errno of reading its terminal settings
        QString user;
        QString group;              // the node's
        bool groupMayOpen = false;  // its mode lets the group read and write
        bool inGroup = false;       // this process has the group
        bool listedInGroup = false; // the user is a member, from the next login on
        QString lockFile;           // the one Qt takes; empty when no lock folder is usable
        Process lockHolder;         // written in the lock file; pid 0 when none
        bool lockHolderAlive = false;
        bool lockRemovable = true; // by this user, once its process has ended
        QList<Process> holders;    // other processes with the node open
        QList<Process> grabbers;   // running programs of grabberPrograms()
        QStringList attached;      // ports of the recognised adapters present
    };

    // The tool's exit code for a port that did not open.
    static constexpr int EXIT_CODE = 3;

    Cause cause = Opens;
    QString problem;
    QString fix;

    // "problem; fix", one line.
    QString text() const { return problem + QStringLiteral("; ") + fix; }

    static PortDiagnosis diagnose(const Facts &facts);

    // As Qt names things on Unix: "ttyUSB0" is /dev/ttyUSB0, whose lock file
    // is LCK..ttyUSB0; /dev/pts/3 locks as LCK..pts_3.
    static QString systemLocation(const QString &port);
    static QString lockFileName(const QString &port);
    // The process written in a lock file: QLockFile's lines (pid, program,
    // host) or a UUCP lock file's pid alone.
    static Process parseLockFile(const QByteArray &contents);
    // The programs known to take serial adapters.
    static QStringList grabberPrograms();
    // What to do about a program known to take serial adapters; empty for
    // any other.
    static QString grabberFix(const QString &program);
};

#endif // PORTDIAGNOSIS_H
