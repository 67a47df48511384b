#ifndef RESULTWRITER_H
#define RESULTWRITER_H

#include "cli/portresult.h"

#include <QString>
#include <QTextStream>

class QFile;

// Where a run's results go, in the one form chosen for the run, and whether
// they got there: a result that cannot be written is a failure of its own.
class ResultWriter
{
public:
    enum class Form {
        Text,         // one port: "name: value" lines
        PrefixedText, // several ports: every line prefixed with its port
        JsonLines,    // one compact object per port and line
        StationText,  // the provisioning station's line per module
        StationJson,  // its object per module and line
    };

    ResultWriter(QTextStream &out, Form form) : m_out(out), m_form(form) {}

    // The station's record: every result line goes to log as well.
    void setLog(QFile *log) { m_log = log; }

    // False once a write failed, with why in error().
    bool write(const PortResult &result);
    QString error() const { return m_error; }

    // The reason standard output (or whatever out writes to) refused a
    // write; empty while it takes everything.
    static QString streamError(QTextStream &out);

private:
    QString format(const PortResult &result) const;

    QTextStream &m_out;
    Form m_form;
    QFile *m_log = nullptr;
    QString m_error;
};

#endif // RESULTWRITER_H
