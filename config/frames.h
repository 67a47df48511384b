#ifndef FRAMES_H
#define FRAMES_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

#include "config/fieldtable.h"
#include "config/replyformat.h"

// The bytes exchanged with the radio module, and the values of the form they
// stand for. Pure functions: no widgets, no I/O. The window, the command-line
// tool and the fuzzer share them so that all of them build and read the same
// frames and refuse the same values.
namespace Frames {

inline const QByteArray READ_REQUEST = QByteArray::fromHex("ff 4c cf 52 a1 52 f0");
inline const QByteArray WRITE_REQUEST_HEADER = QByteArray::fromHex("ff 4c cf 52 a1 57 f1");
constexpr int WRITE_REQUEST_LENGTH = 16;

// What the link worker requires of a reply before handing it over.
using ::REPLY_MIN_LENGTH;
using ::REPLY_START_BYTE;

// Bytes 0 to 28 of a parameter block carry values; later ones are ignored.
constexpr int PARAMETER_BLOCK_USED_LENGTH = 29;

// A decoded parameter block.
struct Parameters
{
    QString model;   // 4 characters, ISO 8859-1, untrimmed
    QString version; // 7 characters, likewise
    QString mac;     // 16 upper-case hexadecimal digits
    Settings settings;
};

// What the form holds when Write is clicked: the text fields as typed and the
// current index of each list (-1 when a list has no current item), by Field.
struct FormInput
{
    FormInput() { codes.fill(-1); }

    std::array<QString, FIELD_COUNT> texts;
    std::array<int, FIELD_COUNT> codes;
};

struct Problem
{
    Field field;
    QString message; // translated; names the field and what it accepts
};

struct WriteRequest
{
    QByteArray frame;        // 16 bytes, empty when refused
    Settings settings;       // what the frame carries, as far as it was read
    QList<Problem> problems; // one per refused field, in form order

    bool isValid() const { return problems.isEmpty(); }
    QStringList messages() const;
};

// Field names as the form labels them, translated (context "MainWindow").
QString fieldName(Field field);
// Stable lower-case keys for scripts and JSON: "frequency", "group", "rate",
// "power", "baud", "parity", "wakeup".
QString fieldKey(Field field);

// The items of a list in index order, translated for the form (context
// "MainWindow"). Empty for a field that is not a list.
QStringList itemTexts(Field field);
// The item that a code names, untranslated; empty when it names none.
QString itemText(Field field, int code);
// The code of an item given by its text, compared without regard to case;
// for Power the number alone also names its item ("7" is "7(Max)").
// -1 when no item matches.
int itemIndex(Field field, const QString &text);

// MHz text (C locale: a dot as the decimal point) to kHz, rounded to the
// nearest kHz. Empty unless the text is a number and the result lies in
// 1..MAX_FREQUENCY_KHZ.
std::optional<quint32> parseFrequency(const QString &megahertz);
// kHz as MHz text: exact, up to three decimals, no trailing zeros or point.
QString frequencyText(quint32 kHz);
// Decimal within the group ID's limits, else empty.
std::optional<int> parseGroupId(const QString &text);
// A value as the form or the tool takes it: MHz text for the frequency,
// decimal for a number, an item for a list (as itemIndex); empty when refused.
std::optional<int> parseText(Field field, const QString &text);
// A value as the form shows it; a list's item untranslated, empty for a code
// that names none.
QString valueText(Field field, int value);

// Why a value of the field is refused: names the field and what it accepts.
// Translated (context "MainWindow").
QString refusal(Field field);

// The problems that keep settings from being written, in form order.
QList<Problem> validate(const Settings &settings);
// Reads and checks the form; the frame is built only when nothing is refused.
WriteRequest buildWriteRequest(const FormInput &input);
// The 16-byte write request, or an empty array when validate() refuses.
QByteArray encodeWriteRequest(const Settings &settings);

// Empty for a block shorter than PARAMETER_BLOCK_USED_LENGTH; the start byte
// is the link worker's to check, not looked at here.
std::optional<Parameters> decodeParameterBlock(const QByteArray &configData);

} // namespace Frames

#endif // FRAMES_H
