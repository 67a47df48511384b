#include "config/frames.h"

#include <QTranslator>
#include <QtTest>

#include <memory>

using namespace Frames;

namespace {

const QByteArray REPLY = QByteArray::fromHex(
    "24 41 42 43 44 31 2e 30 2e 30 30 31 00 1a 2b 3c 4d 5e 6f 70 05 0d 3f 04 03 07 03 00 05 00");

QByteArray patched(int at, const char *hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    return QByteArray(REPLY).replace(at, bytes.size(), bytes);
}

// Decodes a heap copy of exactly the block's size, so that AddressSanitizer
// catches a read past its end instead of it landing in spare capacity.
std::optional<Parameters> decodeExact(const QByteArray &block)
{
    std::unique_ptr<char[]> copy(new char[size_t(block.size())]);
    memcpy(copy.get(), block.constData(), size_t(block.size()));
    return decodeParameterBlock(QByteArray::fromRawData(copy.get(), block.size()));
}

// "frequency|group|five list codes", as the form holds them.
FormInput form(const QString &given)
{
    FormInput input;
    input.texts[Frequency] = given.section('|', 0, 0);
    input.texts[GroupId] = given.section('|', 1, 1);
    for (Field field : LIST_FIELDS)
        input.codes[field] =
            given.section('|', 2).section(' ', field - TrxRate, field - TrxRate).toInt();
    return input;
}

QString keys(const QList<Problem> &problems)
{
    QStringList k;
    for (const Problem &p : problems)
        k << fieldKey(p.field);
    return k.join(' ');
}

// Marks every text of the window's context, to show which ones pass it.
class MarkingTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *text, const char *, int) const override
    {
        return qstrcmp(context, "MainWindow") ? QString() : "<" + QString::fromUtf8(text) + ">";
    }
};

} // namespace

class TestFrames : public QObject
{
    Q_OBJECT
private slots:
    void writeForm();
    void decode();
    void texts();
};

// "frequency|group|five list indexes -> bytes after the header, or the refused fields".
void TestFrames::writeForm()
{
    QStringList cases{
        "915|0|3 7 3 0 5 -> 0d f6 38 00 03 07 03 00 05",
        "868.1|5|3 7 3 0 5 -> 0d 3f 04 05 03 07 03 00 05",
        "512.002|0|3 7 3 0 5 -> 07 d0 02 00 03 07 03 00 05", // rounded, not truncated
        "16777.215|255|5 7 6 2 11 -> ff ff ff ff 05 07 06 02 0b",
        "0.0005|1|0 0 0 0 0 -> 00 00 01 01 00 00 00 00 00",
        "16777.2154|0|3 7 3 0 5 -> ff ff ff 00 03 07 03 00 05",
        "915|0|-1 7 3 0 5 -> refused: rate", // no current item
        "915|0|6 7 3 0 5 -> refused: rate",
        "915|0|3 8 7 3 12 -> refused: power baud parity wakeup",
        "x||-1 -1 -1 -1 -1 -> refused: frequency group rate power baud parity wakeup"};
    for (const char *f :
         {"868,1", "abc", "", "0", "0.0004", "-1", "16777.216", "16777.2156", "nan", "1e300"})
        cases << QString(f) + "|0|3 7 3 0 5 -> refused: frequency";
    for (const char *group : {"", "256", "-1", "x"})
        cases << "915|" + QString(group) + "|3 7 3 0 5 -> refused: group";

    for (const QString &c : qAsConst(cases)) {
        const QString given = c.section(" -> ", 0, 0);
        const WriteRequest r = buildWriteRequest(form(given));
        QCOMPARE(given + " -> " +
                     (r.isValid() ? r.frame.mid(7).toHex(' ') : "refused: " + keys(r.problems)),
                 c);
        for (const Problem &p : r.problems) {
            // Names the field as the form labels it, and says what it accepts.
            const QString accepted = p.field < TrxRate
                                         ? QStringList{"16777.215", "0 to 255"}[p.field]
                                         : itemTexts(p.field).join(", ");
            QVERIFY2(p.message.startsWith(fieldName(p.field) + ":") && p.message.contains(accepted),
                     qPrintable(p.message));
        }
        QCOMPARE(r.frame.left(7).toHex(' '), r.isValid() ? "ff 4c cf 52 a1 57 f1" : "");
    }
}

// "model|version|MAC|group|MHz|list codes|fields refused for a write".
void TestFrames::decode()
{
    const QString usual = "ABCD|1.0.001|001A2B3C4D5E6F70|5|";
    const QList<QPair<QByteArray, QString>> cases{
        {REPLY, usual + "868.1|3 7 3 0 5|"},
        {REPLY.left(29) + QByteArray(11, char(0xee)), usual + "868.1|3 7 3 0 5|"},
        {patched(1, "e9 00 20 41"),
         QString::fromLatin1("\xe9\0 A", 4) + usual.mid(4) + "868.1|3 7 3 0 5|"},
        {patched(21, "00 00 00"), usual + "0|3 7 3 0 5|frequency"},
        {patched(21, "00 00 01"), usual + "0.001|3 7 3 0 5|"},
        {patched(21, "0d f6 38"), usual + "915|3 7 3 0 5|"},
        {patched(21, "ff ff ff"), usual + "16777.215|3 7 3 0 5|"},
        // Codes naming no item leave their lists without one, never sent back.
        {patched(12, "ff ee dd cc bb aa 99 88 ff 0d 3f 04 06 80 ff 7f 0b"),
         "ABCD|1.0.001|FFEEDDCCBBAA9988|255|868.1|6 -128 -1 127 11|rate power baud parity"}};
    for (const auto &c : cases) {
        const std::optional<Parameters> p = decodeExact(c.first);
        QVERIFY(p);
        const Settings &s = p->settings;
        const QString codes = QString::asprintf("%d %d %d %d %d", s.trxRate, s.power, s.baudRate,
                                                s.parity, s.wakeupTime);
        QCOMPARE(QStringList({p->model, p->version, p->mac, QString::number(p->settings.groupId),
                              frequencyText(p->settings.frequencyKHz), codes,
                              keys(validate(p->settings))})
                     .join('|'),
                 c.second);
        QCOMPARE(encodeWriteRequest(p->settings).isEmpty(), !c.second.endsWith('|'));
    }
    for (int size = 0; size < 29; ++size)
        QVERIFY2(!decodeExact(REPLY.left(size)), qPrintable(QString::number(size)));
    QVERIFY(decodeExact(REPLY.left(29)).value_or(Parameters()).settings.frequencyKHz == 868100);
}

void TestFrames::texts()
{
    // A frequency read and written back unchanged must not move the module.
    for (const char *pair : {"10=0.01", "1010=1.01", "1000000=1000", "1000001=1000.001"})
        QCOMPARE(frequencyText(QString(pair).section('=', 0, 0).toUInt()),
                 QString(pair).section('=', 1));
    QVERIFY(!parseFrequency(frequencyText(0))); // shown, but not accepted for a write
    for (quint32 k = 1; k <= MAX_FREQUENCY_KHZ; k += k < 2000 ? 1 : 997)
        QVERIFY2(parseFrequency(frequencyText(k)).value_or(0) == k, qPrintable(frequencyText(k)));
    QCOMPARE(parseFrequency("16777.215").value_or(0), MAX_FREQUENCY_KHZ);

    const QList<int> found{itemIndex(TrxRate, "4.56k"), itemIndex(Power, "7"),
                           itemIndex(Power, "8"),       itemIndex(WakeupTime, "1S"),
                           itemIndex(Frequency, "915"), itemIndex(Parity, "None")};
    QCOMPARE(found, (QList<int>{3, 7, -1, 5, -1, 0}));

    MarkingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    QCOMPARE(itemTexts(Parity).join(' ') + fieldName(GroupId),
             QString("<None> <Odd> <Even><Group ID>"));
    for (const Problem &p : buildWriteRequest(form("x||0 0 0 0 0")).problems)
        QVERIFY2(p.message.startsWith("<"), qPrintable(p.message));
    // Texts that scripts rely on are not translated.
    QCOMPARE(itemText(Parity, 0) + fieldKey(GroupId), QString("Nonegroup"));
    QCoreApplication::removeTranslator(&translator);
}

QTEST_GUILESS_MAIN(TestFrames)
#include "tst_frames.moc"
