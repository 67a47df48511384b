#ifndef PTYSIMULATOR_H
#define PTYSIMULATOR_H

#include <QObject>
#include <QString>
#include <QTextStream>

// The simulate command: a simulated module on a new pseudo-terminal, served
// until SIGINT or SIGTERM. Part of the program only, never of radioconf_cli.
class PtySimulator : public QObject
{
    Q_OBJECT
public:
    explicit PtySimulator(QObject *parent = nullptr);
    ~PtySimulator() override;

    // Prints the terminal's path on out; returns the exit code.
    int serve(const QString &behaviour, int delayMs, QTextStream &out, QTextStream &err);
};

#endif // PTYSIMULATOR_H
