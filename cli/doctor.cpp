#include "cli/doctor.h"

#include "discovery/detectdevicethread.h"
#include "discovery/doctorcheck.h"
#include "discovery/portprobe.h"
#include "discovery/usbadapter.h"

#include <QJsonDocument>
#include <QSerialPortInfo>
#include <QSet>

#include <algorithm>

namespace {

// "CP210x 10C4:EA60"
QString adapterText(quint16 vendorId, quint16 productId)
{
    for (const UsbAdapter &adapter : RECOGNISED_ADAPTERS) {
        if (adapter.vendorId == vendorId && adapter.productId == productId)
            return QLatin1String(adapter.chip) + QLatin1Char(' ') + adapter.identifiers();
    }
    return QString();
}

} // namespace

int Doctor::run(const QStringList &ports, bool json, QTextStream &out)
{
    DoctorCheck::Facts facts;
    facts.portGiven = !ports.isEmpty();
    facts.user = PortProbe::userName();
    QStringList names = ports;
    if (!facts.portGiven) {
        const auto infos = QSerialPortInfo::availablePorts();
        for (const QSerialPortInfo &info : infos) {
            if (!info.hasVendorIdentifier() || !info.hasProductIdentifier() ||
                !DetectDeviceThread::isRecognised(info.vendorIdentifier(),
                                                  info.productIdentifier()))
                continue;
            names << info.portName();
            facts.adapters << QStringLiteral("%1 (%2)").arg(
                info.portName(), adapterText(info.vendorIdentifier(), info.productIdentifier()));
        }
    }
    QList<QList<PortDiagnosis::Process>> holders;
    for (const QString &name : std::as_const(names)) {
        facts.ports << DoctorCheck::Port{name, PortProbe::diagnose(name)};
        holders << PortProbe::holders(name);
    }
#ifdef Q_OS_LINUX
    for (const QString &program : PortDiagnosis::grabberPrograms()) {
        DoctorCheck::Grabber grabber{program, PortProbe::processesNamed({program}), {}};
        QSet<qint64> pids;
        for (const PortDiagnosis::Process &process : std::as_const(grabber.running)) {
            pids << process.pid;
            grabber.hidden = grabber.hidden || !PortProbe::descriptorsVisible(process.pid);
        }
        for (int i = 0; i < names.size(); ++i) {
            const auto &portHolders = holders.at(i);
            if (std::any_of(portHolders.begin(), portHolders.end(),
                            [&](const PortDiagnosis::Process &holder) {
                                return pids.contains(holder.pid);
                            }))
                grabber.held << names.at(i);
        }
        facts.grabbers << grabber;
    }
    facts.udevRule = PortProbe::udevRule();
#else
    facts.onLinux = false;
#endif
    const QList<DoctorCheck> checks = DoctorCheck::evaluate(facts);
    for (const DoctorCheck &check : checks) {
        if (json)
            out << QJsonDocument(check.json()).toJson(QJsonDocument::Compact) << '\n';
        else
            out << check.text() << '\n';
    }
    out.flush();
    return DoctorCheck::exitCode(checks);
}
