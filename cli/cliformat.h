#ifndef CLIFORMAT_H
#define CLIFORMAT_H

#include "config/frames.h"
#include "config/profile.h"
#include "discovery/portentry.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// The command-line tool's pure side: option texts to settings, settings to
// text and JSON and back. No I/O; the checks are the window's own (Frames),
// the JSON and the value texts those of its profiles (Profile).
namespace CliFormat {

// Values to write, by field (Profile's).
using Changes = Profile::Changes;

// The option that sets a field: "--freq", "--group", "--rate", ...
QString optionName(Frames::Field field);

Frames::Settings applyChanges(Frames::Settings settings, const Changes &changes);

// A field's value as the form shows it; "(code N)" for a list code that
// names no item.
QString valueText(Frames::Field field, const Frames::Settings &settings);

// "name: value" lines, aligned, for every parameter of a reply.
QString parametersText(const QString &port, const Frames::Parameters &parameters);
// One "name: wanted X, got Y" text per field where got differs from wanted.
QStringList differences(const Frames::Settings &wanted, const Frames::Settings &got);

// A serial port as the list command shows it.
using PortEntry = ::PortEntry;

// "VVVV:PPPP" in upper-case hex, or "----:----" without USB identifiers.
QString identifiersText(const PortEntry &port);
// One line a port: name, identifiers, description; with all, recognised
// ones marked with '*' in a first column.
QString portsText(const QList<PortEntry> &ports, bool all);
// One port as list --json prints it, a line each.
QJsonObject portJson(const PortEntry &port);

} // namespace CliFormat

#endif // CLIFORMAT_H
