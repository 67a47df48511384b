#ifndef PROFILE_H
#define PROFILE_H

#include "config/frames.h"

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

struct QJsonParseError;

// One module's values as radioconf-cli read --json prints them and --from
// takes them back: a line of the tool's output, or the file the window
// saves and opens. Pure: no I/O.
class Profile
{
public:
    // Values by field: kHz for the frequency, the number for the group ID,
    // the item's code for a list. Checked when they get here.
    using Changes = QMap<Frames::Field, int>;

    Changes changes; // the settings given; a null or absent one is left out
    QString port;    // the keys read --json adds; empty when absent
    QString model;
    QString version;
    QString mac;
    QString failure; // why its port failed; such an object cannot be taken

    // read --json's object for a reply: the keys are Frames::fieldKey's plus
    // "port", "model", "version" and "mac". The frequency is a number of MHz,
    // the group a number, the lists their item texts (null for a code that
    // names no item).
    static QJsonObject json(const QString &port, const Frames::Parameters &parameters);
    // The file the window saves: read --json's line for a module on port, or
    // the settings alone when port is empty (no module known).
    static QByteArray fileContents(const QString &port, const Frames::Parameters &parameters);

    // The values of an object that json wrote, or one written by hand; the
    // keys read --json and the station add carry no setting, and null values
    // are ignored. Empty, with why in *error, when a value is refused or a
    // key is none of these.
    static std::optional<Profile> fromJson(const QJsonObject &object, QString *error);
    // A file of one such object, whose read did not fail.
    static std::optional<Profile> parse(const QByteArray &json, QString *error);
    static QString parseErrorText(const QJsonParseError &error);

    // A value as typed (the form's texts: "868.1", "5", "4.56K", "7",
    // "none", "1s"), or empty when the window would refuse it or it is finer
    // than the module's step (a frequency in fractions of a kHz).
    static std::optional<int> parseValue(Frames::Field field, const QString &text);
    // Why a value was refused: the window's own message for the field, or
    // the step for a value finer than it.
    static QString refusal(Frames::Field field, const QString &text = QString());
    // The one of keys nearest to key, by edit distance, ignoring case.
    static QString nearestKey(const QString &key, const QStringList &keys);

    // The radioconf-cli write command that writes settings (every code must
    // name an item), to port when one is given; quoted for a POSIX shell.
    static QString writeCommand(const Frames::Settings &settings, const QString &port);
};

#endif // PROFILE_H
