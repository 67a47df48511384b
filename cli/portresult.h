#ifndef PORTRESULT_H
#define PORTRESULT_H

#include "cli/exitcode.h"
#include "config/frames.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// How the exchanges with one port's module ended, and what to print of it.
// Pure: no I/O.
struct PortResult
{
    // The tool's exit codes are ordered by severity: a higher code is the
    // worse outcome.
    using Code = Exit::Code;

    QString port;
    Code code = Exit::Success;
    QString reason;       // why not, for a failure or a skip; no port in it
    bool skipped = false; // left alone on purpose, not a failure
    bool written = false; // a write request was answered
    // What the module reported last, once it answered.
    std::optional<Frames::Parameters> parameters;
    QDateTime finishedAt; // UTC

    // The module's values are worth showing: it answered the last request,
    // with the values wanted or not.
    bool hasValues() const
    {
        return parameters && (code == Exit::Success || code == Exit::Mismatch);
    }
    // "ok", "skipped", "refused", "open-failed", "no-reply", "port-error",
    // "mismatch".
    QString outcomeKey() const;

    // Several ports: every line of the parameters prefixed with the port.
    QString prefixedText() const;
    // The parameters (when hasValues()) with "outcome", and "error" for a
    // failure.
    QJsonObject json() const;

    // The station's line: time, port, model, MAC and the result, which is
    // "provisioned" with the values, "skipped" or "failed", with why.
    QString stationText() const;
    // json() with the station's "time", "result" and "reason", and the
    // module's model and MAC once it answered.
    QJsonObject stationJson() const;

    static Code worstCode(const QList<PortResult> &results);
    // "3 of 4 modules read; ttyUSB2 failed: no reply ...", succeeded being
    // "read".
    static QString summary(const QList<PortResult> &results, const QString &succeeded);
};

#endif // PORTRESULT_H
