#ifndef EXITCODE_H
#define EXITCODE_H

#include <QString>
#include <QStringList>

#include <vector>

// The exit codes of radioconf-cli and radioconf-sim, one list for both, so
// that a script reads every code the same way from either. Header only:
// radioconf-sim takes it without the command line's library.
namespace Exit {

enum Code {
    Success = 0,
    CheckFailed = 1, // doctor: a check failed
    UsageError = 2,  // also an invalid value, or several adapters and no --port
    OpenFailed = 3,  // also no recognised adapter and no --port
    NoReply = 4,
    PortFailed = 5,
    Mismatch = 6,
    OutputFailed = 7,     // a result could not be written out, or to the log
    TestBedFailed = 8,    // radioconf-sim: its virtual adapters could not be set up
    ProgramMissing = 127, // radioconf-sim: the program did not start
};

// What each code means, for --help.
inline const char *text(Code code)
{
    switch (code) {
    case Success:
        return "success";
    case CheckFailed:
        return "doctor: a check failed";
    case UsageError:
        return "usage error or invalid value; nothing is sent";
    case OpenFailed:
        return "the port did not open; also --port left out while no recognised adapter is "
               "attached";
    case NoReply:
        return "no reply from the module (the request was sent twice, 5 s apart)";
    case PortFailed:
        return "port error";
    case Mismatch:
        return "the module reported other values than those written";
    case OutputFailed:
        return "a result could not be written to standard output or to the --log file";
    case TestBedFailed:
        return "the virtual adapters could not be set up (umockdev)";
    case ProgramMissing:
        return "PROGRAM could not be started";
    }
    return "";
}

// One entry per code, its text wrapped to 79 columns.
inline QString help(const std::vector<Code> &codes)
{
    QString result;
    for (Code code : codes) {
        QString line = QStringLiteral("  ") + QString::number(code).leftJustified(2);
        int column = line.size();
        const QStringList words = QString::fromLatin1(text(code)).split(QLatin1Char(' '));
        for (const QString &word : words) {
            if (column + 1 + word.size() > 79) {
                line += QStringLiteral("\n    ");
                column = 4;
            }
            line += QLatin1Char(' ') + word;
            column += 1 + word.size();
        }
        result += line + QLatin1Char('\n');
    }
    return result;
}

} // namespace Exit

#endif // EXITCODE_H
