#ifndef FIELDTABLE_H
#define FIELDTABLE_H

#include <QtGlobal>

// The settings a write carries, each described once: the window, the
// command-line tool and the frame checks take names, limits and items from
// here. A new setting is a row here with its member in Settings, its bytes
// in the frames and its widget in the form.
namespace Frames {

// The five lists follow their order in the write request; the order of
// their items is part of the protocol.
enum Field { Frequency, GroupId, TrxRate, Power, BaudRate, Parity, WakeupTime };
constexpr int FIELD_COUNT = 7;
constexpr Field LIST_FIELDS[] = {TrxRate, Power, BaudRate, Parity, WakeupTime};
constexpr Field ALL_FIELDS[] = {Frequency, GroupId, TrxRate, Power, BaudRate, Parity, WakeupTime};

// Frequencies travel as 24-bit kHz, the group ID as one byte.
constexpr quint32 MAX_FREQUENCY_KHZ = 0xffffff;
constexpr int MAX_GROUP_ID = 0xff;

// The values of the form; the defaults are the form's initial values. A list
// code is the index of its item; a decoded reply may carry codes that name no
// item (negative or too large), which leave the list without a current item.
struct Settings
{
    int frequencyKHz = 915000;
    int groupId = 0;
    int trxRate = 3;
    int power = 7;
    int baudRate = 3;
    int parity = 0;
    int wakeupTime = 5;

    int value(Field field) const;
    void setValue(Field field, int value);

    bool operator==(const Settings &other) const;
    bool operator!=(const Settings &other) const { return !(*this == other); }
};

enum class FieldKind {
    Frequency, // kHz, typed as MHz
    Number,    // a whole number typed as such
    List       // the index of an item
};

struct FieldInfo
{
    const char *key;    // stable, untranslated: scripts and JSON
    const char *option; // the command-line option that sets it
    const char *label;  // as the form labels it (context "MainWindow")
    FieldKind kind;
    int minimum; // accepted values; for a list 0..items - 1
    int maximum;
    const char *const *items; // a list's items in code order, else null
    const char *unit;         // after the value in the tool's text, or null
    const char *optionHelp;   // null: the label and the items; %1 and %2
                              // stand for the limits of a number
    const char *optionValue;  // the option's value name
    int Settings::*member;
};

const FieldInfo &fieldInfo(Field field);

} // namespace Frames

#endif // FIELDTABLE_H
