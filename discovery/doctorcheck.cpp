#include "discovery/doctorcheck.h"

namespace {

DoctorCheck make(const QString &check, bool ok, const QString &detail, const QString &fix = {})
{
    DoctorCheck result;
    result.check = check;
    result.ok = ok;
    result.detail = detail;
    result.fix = ok ? QString() : fix;
    return result;
}

QString processesText(const QList<PortDiagnosis::Process> &processes)
{
    QStringList pids;
    for (const PortDiagnosis::Process &process : processes)
        pids << QString::number(process.pid);
    return QStringLiteral("pid ") + pids.join(QStringLiteral(", "));
}

} // namespace

QList<DoctorCheck> DoctorCheck::evaluate(const Facts &facts)
{
    QList<DoctorCheck> checks;
    if (!facts.portGiven)
        checks << make(QStringLiteral("adapters"), !facts.adapters.isEmpty(),
                       facts.adapters.isEmpty() ? QStringLiteral("no recognised adapter attached")
                                                : facts.adapters.join(QStringLiteral(", ")),
                       QStringLiteral("plug the module's adapter in (radioconf-cli list --all "
                                      "shows every serial port)"));
    for (const Port &port : facts.ports) {
        const PortDiagnosis &diagnosis = port.diagnosis;
        const bool opens = diagnosis.cause == PortDiagnosis::Opens;
        DoctorCheck check =
            make(QStringLiteral("port"), opens,
                 opens ? QStringLiteral("opens for %1").arg(facts.user) : diagnosis.problem,
                 diagnosis.fix);
        check.port = port.name;
        checks << check;
    }
    if (!facts.onLinux)
        return checks;
    for (const Grabber &grabber : facts.grabbers) {
        QString detail = QStringLiteral("not running");
        if (!grabber.running.isEmpty())
            detail =
                QStringLiteral("running (%1), ").arg(processesText(grabber.running)) +
                (!grabber.held.isEmpty()
                     ? QStringLiteral("holds ") + grabber.held.join(QStringLiteral(", "))
                 : grabber.hidden ? QStringLiteral("which ports it holds only root can tell (sudo "
                                                   "radioconf-cli doctor)")
                                  : QStringLiteral("holds none of the ports checked"));
        checks << make(grabber.program, grabber.held.isEmpty(), detail,
                       PortDiagnosis::grabberFix(grabber.program));
    }
    checks << make(QStringLiteral("udev rule"), !facts.udevRule.isEmpty(),
                   facts.udevRule.isEmpty() ? QStringLiteral("not installed") : facts.udevRule,
                   QStringLiteral("install the radioconf-cli or radioconf package, which puts it "
                                  "in /usr/lib/udev/rules.d/60-radioconf-cli.rules or "
                                  "/usr/lib/udev/rules.d/60-radioconf.rules, or copy it from a "
                                  "source build to /etc/udev/rules.d/; then plug the adapter in "
                                  "again"));
    return checks;
}

int DoctorCheck::exitCode(const QList<DoctorCheck> &checks)
{
    for (const DoctorCheck &check : checks) {
        if (!check.ok)
            return FAILED;
    }
    return 0;
}

QString DoctorCheck::text() const
{
    const QString name = port.isEmpty() ? check : check + QLatin1Char(' ') + port;
    return QStringLiteral("%1  %2: %3%4")
        .arg(ok ? QStringLiteral("ok  ") : QStringLiteral("FAIL"), name, detail,
             fix.isEmpty() ? QString() : QStringLiteral("; ") + fix);
}

QJsonObject DoctorCheck::json() const
{
    QJsonObject object{{QStringLiteral("check"), check},
                       {QStringLiteral("ok"), ok},
                       {QStringLiteral("detail"), detail},
                       {QStringLiteral("fix"), fix}};
    if (!port.isEmpty())
        object.insert(QStringLiteral("port"), port);
    return object;
}
