#include "simulator/simulator.h"

#include <QFile>

namespace {

// Splits "NAME[:BEHAVIOUR]"; without a behaviour, *behaviour is left as it is.
bool parsePort(const QString &portArg, QString *name, SimulatedModule::Behaviour *behaviour)
{
    const int colon = portArg.indexOf(':');
    *name = portArg.left(colon);
    if (name->isEmpty() || name->contains('/'))
        return false;
    return colon < 0 || SimulatedModule::parseBehaviour(portArg.mid(colon + 1), behaviour);
}

} // namespace

Simulator::Simulator(bool usb, quint16 vendor, quint16 product,
                     SimulatedModule::Behaviour behaviour, int delay, QFile *log)
    : m_usb(usb), m_vendor(vendor), m_product(product), m_behaviour(behaviour), m_delay(delay),
      m_log(log)
{
}

QString Simulator::addPort(const QString &portArg)
{
    QString name;
    SimulatedModule::Behaviour behaviour = m_behaviour;
    if (!parsePort(portArg, &name, &behaviour))
        return QString();
    if (!m_behaviours.count(name))
        m_ports << name;
    else if (!portArg.contains(':'))
        behaviour = m_behaviours[name];
    m_behaviours[name] = behaviour;
    return name;
}

bool Simulator::plug()
{
    for (const QString &port : qAsConst(m_ports)) {
        if (!plug(port))
            return false;
    }
    return true;
}

void Simulator::unplug()
{
    for (const QString &port : qAsConst(m_ports))
        unplug(port);
}

bool Simulator::plug(const QString &port)
{
    if (m_bed.isPlugged(port))
        return true;
    if (!(m_usb ? m_bed.plug(port, m_vendor, m_product) : m_bed.plugWithoutUsb(port)))
        return false;
    qInfo("radioconf-sim: adapter on /dev/%s", qPrintable(port));
    auto module = std::make_unique<SimulatedModule>(m_bed.farEnd(port), m_behaviours[port]);
    SimulatedModule::State state;
    state.mac = SimulatedModule::macForPort(port);
    module->setState(state);
    module->setTrickleDelay(m_delay);
    connect(module.get(), &SimulatedModule::hungUp, this, [this, port] {
        qInfo("radioconf-sim: module on %s hung up, adapter pulled out", qPrintable(port));
        QMetaObject::invokeMethod(
            this, [this, port] { unplug(port); }, Qt::QueuedConnection);
    });
    if (m_log) {
        connect(module.get(), &SimulatedModule::requestReceived, this,
                [this, port](const QByteArray &request) {
                    m_log->write(port.toUtf8() + ' ' + request.toHex() + '\n');
                    m_log->flush();
                });
    }
    m_modules[port] = std::move(module);
    return true;
}

void Simulator::unplug(const QString &port)
{
    m_modules.erase(port);
    m_bed.unplug(port);
}

void Simulator::command(const QByteArray &line)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    const QByteArray verb = words.at(0);
    if (words.size() > 2 || (verb != "plug" && verb != "unplug")) {
        qWarning("radioconf-sim: unknown command \"%s\" (plug, unplug, plug NAME, unplug NAME)",
                 line.constData());
        return;
    }
    if (words.size() == 1) {
        if (verb == "unplug") {
            unplug();
            qInfo("radioconf-sim: adapter pulled out");
        } else if (plug()) {
            qInfo("radioconf-sim: adapter plugged in");
        } else {
            qWarning("radioconf-sim: cannot plug the adapter");
        }
        return;
    }
    const QString portArg = QString::fromUtf8(words.at(1));
    if (verb == "unplug") {
        if (has(portArg)) {
            unplug(portArg);
            qInfo("radioconf-sim: adapter on /dev/%s pulled out", qPrintable(portArg));
        } else {
            qWarning("radioconf-sim: no adapter %s", qPrintable(portArg));
        }
        return;
    }
    const QString port = addPort(portArg);
    if (port.isEmpty())
        qWarning("radioconf-sim: bad port \"%s\" (NAME or NAME:BEHAVIOUR)", qPrintable(portArg));
    else if (!plug(port))
        qWarning("radioconf-sim: cannot plug the adapter %s", qPrintable(port));
}
