#ifndef SIMULATOR_H
#define SIMULATOR_H

#include "simulator/simulatedmodule.h"
#include "simulator/virtualadapter.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>

class QFile;

// radioconf-sim's line of virtual adapters, each with a simulated module
// behind it, plugged and unplugged as a whole or one by one.
class Simulator : public QObject
{
public:
    // Without identifiers (usb false), the adapters look like built-in ports.
    Simulator(bool usb, quint16 vendor, quint16 product, SimulatedModule::Behaviour behaviour,
              int delay, QFile *log);

    // Adds NAME[:BEHAVIOUR] to the line (or gives a port of it a new
    // behaviour) and returns its name; empty when portArg is malformed.
    QString addPort(const QString &portArg);
    bool has(const QString &port) const { return m_behaviours.count(port) != 0; }

    bool plug();
    void unplug();
    bool plug(const QString &port);
    void unplug(const QString &port);

    // One line of radioconf-sim's standard input: plug or unplug, for every
    // adapter or for one; what it did, or why not, goes to the log.
    void command(const QByteArray &line);

    QString rootDir() const { return m_bed.rootDir(); }

private:
    VirtualAdapter m_bed;
    QStringList m_ports; // in the order they joined the line
    std::map<QString, SimulatedModule::Behaviour> m_behaviours;
    bool m_usb;
    quint16 m_vendor;
    quint16 m_product;
    SimulatedModule::Behaviour m_behaviour;
    int m_delay;
    QFile *m_log;
    std::map<QString, std::unique_ptr<SimulatedModule>> m_modules;
};

#endif // SIMULATOR_H
