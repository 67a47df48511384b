#include "config/fieldtable.h"

#include <QCoreApplication>

namespace Frames {

namespace {

// Index order is the code the module knows; never reorder.
const char *const TRX_RATE_ITEMS[] = {
    QT_TRANSLATE_NOOP("MainWindow", "0.81K"), QT_TRANSLATE_NOOP("MainWindow", "1.46K"),
    QT_TRANSLATE_NOOP("MainWindow", "2.6K"),  QT_TRANSLATE_NOOP("MainWindow", "4.56K"),
    QT_TRANSLATE_NOOP("MainWindow", "9.11K"), QT_TRANSLATE_NOOP("MainWindow", "18.23K")};
const char *const POWER_ITEMS[] = {
    QT_TRANSLATE_NOOP("MainWindow", "0"), QT_TRANSLATE_NOOP("MainWindow", "1"),
    QT_TRANSLATE_NOOP("MainWindow", "2"), QT_TRANSLATE_NOOP("MainWindow", "3"),
    QT_TRANSLATE_NOOP("MainWindow", "4"), QT_TRANSLATE_NOOP("MainWindow", "5"),
    QT_TRANSLATE_NOOP("MainWindow", "6"), QT_TRANSLATE_NOOP("MainWindow", "7(Max)")};
const char *const BAUD_RATE_ITEMS[] = {
    QT_TRANSLATE_NOOP("MainWindow", "1200"),  QT_TRANSLATE_NOOP("MainWindow", "2400"),
    QT_TRANSLATE_NOOP("MainWindow", "4800"),  QT_TRANSLATE_NOOP("MainWindow", "9600"),
    QT_TRANSLATE_NOOP("MainWindow", "19200"), QT_TRANSLATE_NOOP("MainWindow", "38400"),
    QT_TRANSLATE_NOOP("MainWindow", "57600")};
const char *const PARITY_ITEMS[] = {QT_TRANSLATE_NOOP("MainWindow", "None"),
                                    QT_TRANSLATE_NOOP("MainWindow", "Odd"),
                                    QT_TRANSLATE_NOOP("MainWindow", "Even")};
const char *const WAKEUP_TIME_ITEMS[] = {
    QT_TRANSLATE_NOOP("MainWindow", "50ms"),  QT_TRANSLATE_NOOP("MainWindow", "100ms"),
    QT_TRANSLATE_NOOP("MainWindow", "200ms"), QT_TRANSLATE_NOOP("MainWindow", "400ms"),
    QT_TRANSLATE_NOOP("MainWindow", "600ms"), QT_TRANSLATE_NOOP("MainWindow", "1s"),
    QT_TRANSLATE_NOOP("MainWindow", "1.5s"),  QT_TRANSLATE_NOOP("MainWindow", "2s"),
    QT_TRANSLATE_NOOP("MainWindow", "2.5s"),  QT_TRANSLATE_NOOP("MainWindow", "3s"),
    QT_TRANSLATE_NOOP("MainWindow", "4s"),    QT_TRANSLATE_NOOP("MainWindow", "5s")};

template <int N>
constexpr FieldInfo list(const char *key, const char *option, const char *label,
                         const char *const (&items)[N], int Settings::*member,
                         const char *help = nullptr, const char *value = "value")
{
    return {key, option, label, FieldKind::List, 0, N - 1, items, nullptr, help, value, member};
}

// In the order of Field.
const FieldInfo FIELDS[FIELD_COUNT] = {
    {"frequency", "--freq", QT_TRANSLATE_NOOP("MainWindow", "RF frequency"), FieldKind::Frequency,
     1, int(MAX_FREQUENCY_KHZ), nullptr, "MHz", "RF frequency in MHz, e.g. 868.1.", "MHz",
     &Settings::frequencyKHz},
    {"group", "--group", QT_TRANSLATE_NOOP("MainWindow", "Group ID"), FieldKind::Number, 0,
     MAX_GROUP_ID, nullptr, nullptr, "Group ID, %1 to %2.", "N", &Settings::groupId},
    list("rate", "--rate", QT_TRANSLATE_NOOP("MainWindow", "RF TRx rate"), TRX_RATE_ITEMS,
         &Settings::trxRate),
    list("power", "--power", QT_TRANSLATE_NOOP("MainWindow", "RF Power"), POWER_ITEMS,
         &Settings::power),
    list("baud", "--baud", QT_TRANSLATE_NOOP("MainWindow", "Baudrate"), BAUD_RATE_ITEMS,
         &Settings::baudRate),
    list("parity", "--parity", QT_TRANSLATE_NOOP("MainWindow", "Parity Check"), PARITY_ITEMS,
         &Settings::parity, "UART parity: none, odd or even.", "parity"),
    list("wakeup", "--wakeup", QT_TRANSLATE_NOOP("MainWindow", "Wakeup Time"), WAKEUP_TIME_ITEMS,
         &Settings::wakeupTime)};

} // namespace

const FieldInfo &fieldInfo(Field field)
{
    return FIELDS[field];
}

int Settings::value(Field field) const
{
    return this->*FIELDS[field].member;
}

void Settings::setValue(Field field, int value)
{
    this->*FIELDS[field].member = value;
}

bool Settings::operator==(const Settings &other) const
{
    for (Field field : ALL_FIELDS) {
        if (value(field) != other.value(field))
            return false;
    }
    return true;
}

} // namespace Frames
