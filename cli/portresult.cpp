#include "cli/portresult.h"

#include "config/profile.h"

#include "cli/cliformat.h"

#include <QStringList>

#include <algorithm>

namespace {

const QString OUTCOME_KEY = QStringLiteral("outcome");

QString orDash(const QString &text)
{
    const QString trimmed = text.trimmed();
    return trimmed.isEmpty() ? QStringLiteral("-") : trimmed;
}

} // namespace

QString PortResult::outcomeKey() const
{
    switch (code) {
    case Exit::Success:
        return skipped ? QStringLiteral("skipped") : QStringLiteral("ok");
    case Exit::UsageError:
        return QStringLiteral("refused");
    case Exit::OpenFailed:
        return QStringLiteral("open-failed");
    case Exit::NoReply:
        return QStringLiteral("no-reply");
    case Exit::PortFailed:
        return QStringLiteral("port-error");
    case Exit::Mismatch:
        return QStringLiteral("mismatch");
    case Exit::OutputFailed:
        return QStringLiteral("output-failed");
    default: // not a port's outcome
        break;
    }
    return QString();
}

QString PortResult::prefixedText() const
{
    if (!hasValues())
        return QString();
    QStringList lines = CliFormat::parametersText(port, *parameters).split(QLatin1Char('\n'));
    // The first line names the port, which every line now does.
    lines.removeFirst();
    QString text;
    for (const QString &line : lines) {
        if (!line.isEmpty())
            text += port + QStringLiteral(": ") + line + QLatin1Char('\n');
    }
    return text;
}

QJsonObject PortResult::json() const
{
    QJsonObject object = hasValues() ? Profile::json(port, *parameters)
                                     : QJsonObject{{QStringLiteral("port"), port}};
    object.insert(OUTCOME_KEY, outcomeKey());
    if (code != Exit::Success)
        object.insert(QStringLiteral("error"), reason);
    return object;
}

QString PortResult::stationText() const
{
    QString result;
    if (skipped) {
        result = QStringLiteral("skipped: ") + reason;
    } else if (code != Exit::Success) {
        result = QStringLiteral("failed: ") + reason;
    } else {
        QStringList values;
        for (Frames::Field field : Frames::ALL_FIELDS)
            values << Frames::fieldKey(field) + QLatin1Char(' ') +
                          CliFormat::valueText(field, parameters->settings);
        result = QStringLiteral("provisioned: ") + values.join(QStringLiteral(", "));
    }
    return QStringList{finishedAt.toString(Qt::ISODate), port,
                       orDash(parameters ? parameters->model : QString()),
                       orDash(parameters ? parameters->mac : QString()), result}
        .join(QLatin1Char(' '));
}

QJsonObject PortResult::stationJson() const
{
    QJsonObject object = json();
    // A module that failed after its read is still told by its MAC.
    if (parameters && !hasValues()) {
        object.insert(QStringLiteral("model"), parameters->model);
        object.insert(QStringLiteral("mac"), parameters->mac);
    }
    object.insert(QStringLiteral("time"), finishedAt.toString(Qt::ISODate));
    object.insert(QStringLiteral("result"), skipped                 ? QStringLiteral("skipped")
                                            : code == Exit::Success ? QStringLiteral("provisioned")
                                                                    : QStringLiteral("failed"));
    if (skipped || code != Exit::Success)
        object.insert(QStringLiteral("reason"), reason);
    return object;
}

Exit::Code PortResult::worstCode(const QList<PortResult> &results)
{
    Code worst = Exit::Success;
    for (const PortResult &result : results)
        worst = std::max(worst, result.code);
    return worst;
}

QString PortResult::summary(const QList<PortResult> &results, const QString &succeeded)
{
    QStringList failed;
    QStringList skipped;
    int good = 0;
    for (const PortResult &result : results) {
        if (result.skipped)
            skipped << result.port;
        else if (result.code != Exit::Success)
            failed << QStringLiteral("%1 failed: %2").arg(result.port, result.reason);
        else
            ++good;
    }
    QString text =
        QStringLiteral("%1 of %2 %3 %4")
            .arg(good)
            .arg(results.size())
            .arg(results.size() == 1 ? QStringLiteral("module") : QStringLiteral("modules"),
                 succeeded);
    if (!skipped.isEmpty())
        text += QStringLiteral("; skipped: ") + skipped.join(QStringLiteral(", "));
    if (!failed.isEmpty())
        text += QStringLiteral("; ") + failed.join(QStringLiteral("; "));
    return text;
}
