#include "cli/resultwriter.h"

#include "cli/cliformat.h"

#include <QFile>
#include <QJsonDocument>

QString ResultWriter::format(const PortResult &result) const
{
    switch (m_form) {
    case Form::Text:
        return result.hasValues() ? CliFormat::parametersText(result.port, *result.parameters)
                                  : QString();
    case Form::PrefixedText:
        return result.prefixedText();
    case Form::JsonLines:
        return QString::fromUtf8(QJsonDocument(result.json()).toJson(QJsonDocument::Compact)) +
               QLatin1Char('\n');
    case Form::StationText:
        return result.stationText() + QLatin1Char('\n');
    case Form::StationJson:
        return QString::fromUtf8(
                   QJsonDocument(result.stationJson()).toJson(QJsonDocument::Compact)) +
               QLatin1Char('\n');
    }
    return QString();
}

bool ResultWriter::write(const PortResult &result)
{
    const QString text = format(result);
    m_out << text;
    m_out.flush();
    const QString outError = streamError(m_out);
    if (!outError.isEmpty() && m_error.isEmpty())
        m_error = QStringLiteral("cannot write to standard output: %1").arg(outError);
    if (m_log && (m_log->write(text.toUtf8()) < 0 || !m_log->flush()) && m_error.isEmpty())
        m_error =
            QStringLiteral("cannot write to %1: %2").arg(m_log->fileName(), m_log->errorString());
    return m_error.isEmpty();
}

QString ResultWriter::streamError(QTextStream &out)
{
    if (out.status() == QTextStream::Ok)
        return QString();
    const QIODevice *device = out.device();
    return device && !device->errorString().isEmpty() ? device->errorString()
                                                      : QStringLiteral("the write failed");
}
