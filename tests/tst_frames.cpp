#include "config/frames.h"

#include <QtTest>

#include <memory>

using namespace Frames;

namespace {

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

} // namespace

class TestFrames : public QObject
{
    Q_OBJECT
private slots:
    // "frequency|group|five list codes -> bytes after the header, or the refused fields".
    void writeForm()
    {
        QStringList cases{
            "915|0|3 7 3 0 5 -> 0d f6 38 00 03 07 03 00 05",
            "512.002|0|3 7 3 0 5 -> 07 d0 02 00 03 07 03 00 05", // rounded, not truncated
            "16777.215|255|5 7 6 2 11 -> ff ff ff ff 05 07 06 02 0b",
            "0.0005|1|0 0 0 0 0 -> 00 00 01 01 00 00 00 00 00",
            "16777.2154|0|3 7 3 0 5 -> ff ff ff 00 03 07 03 00 05",
            // No current item, or codes one past the end of their lists.
            "915|0|-1 8 7 3 12 -> refused: rate power baud parity wakeup",
            "x||-1 -1 -1 -1 -1 -> refused: frequency group rate power baud parity wakeup"};
        for (const char *f : {"868,1", "", "0.0004", "16777.216", "16777.2156", "nan", "1e300"})
            cases << QString(f) + "|0|3 7 3 0 5 -> refused: frequency";
        for (const char *group : {"256", "-1", "1.5"})
            cases << "915|" + QString(group) + "|3 7 3 0 5 -> refused: group";
        for (const QString &c : qAsConst(cases)) {
            const QString given = c.section(" -> ", 0, 0);
            const WriteRequest r = buildWriteRequest(form(given));
            QCOMPARE(given + " -> " +
                         (r.isValid() ? r.frame.mid(7).toHex(' ') : "refused: " + keys(r.problems)),
                     c);
            QCOMPARE(r.frame.left(7).toHex(' '), r.isValid() ? "ff 4c cf 52 a1 57 f1" : "");
            // Names the field as the form labels it, and says what it accepts.
            for (const Problem &p : r.problems)
                QVERIFY2(p.message.startsWith(fieldName(p.field) + ":") &&
                             p.message.contains(p.field < TrxRate
                                                    ? QStringList{"16777.215", "0 to 255"}[p.field]
                                                    : itemTexts(p.field).join(", ")),
                         qPrintable(p.message));
        }
    }

    // "block -> model|version|MAC|group|MHz|list codes|fields refused for a write".
    void decode()
    {
        const QByteArray reply =
            QByteArray::fromHex("24 41 42 43 44 31 2e 30 2e 30 30 31 00 1a 2b "
                                "3c 4d 5e 6f 70 05 0d 3f 04 03 07 03 00 05 00");
        const auto patched = [&](int at, const char *hex) {
            return QByteArray(reply).replace(at, QByteArray::fromHex(hex).size(),
                                             QByteArray::fromHex(hex));
        };
        const QString usual = "ABCD|1.0.001|001A2B3C4D5E6F70|5|";
        QList<QPair<QByteArray, QString>> cases{
            {reply.left(29) + QByteArray(11, char(0xee)), usual + "868.1|3 7 3 0 5|"},
            {patched(1, "e9 00 20 41"),
             QString::fromLatin1("\xe9\0 A", 4) + usual.mid(4) + "868.1|3 7 3 0 5|"},
            {patched(21, "00 00 00"), usual + "0|3 7 3 0 5|frequency"},
            {patched(21, "00 00 01"), usual + "0.001|3 7 3 0 5|"},
            {patched(21, "ff ff ff"), usual + "16777.215|3 7 3 0 5|"},
            // Codes naming no item leave their lists without one, never sent back.
            {patched(12, "ff ee dd cc bb aa 99 88 ff 0d 3f 04 06 80 ff 7f 0b"),
             "ABCD|1.0.001|FFEEDDCCBBAA9988|255|868.1|6 -128 -1 127 11|rate power baud parity"}};
        // Bytes after the 29th are ignored; a shorter block is refused.
        for (int size = 0; size <= 30; ++size)
            cases.append({reply.left(size), size < 29 ? "" : usual + "868.1|3 7 3 0 5|"});
        for (const auto &c : cases) {
            // A heap copy of exactly the block's size, so that AddressSanitizer
            // catches a read past its end instead of it landing in spare capacity.
            std::unique_ptr<char[]> copy(new char[size_t(c.first.size())]);
            memcpy(copy.get(), c.first.constData(), size_t(c.first.size()));
            const std::optional<Parameters> p =
                decodeParameterBlock(QByteArray::fromRawData(copy.get(), c.first.size()));
            QVERIFY2(bool(p) == !c.second.isEmpty(), c.first.toHex());
            if (!p)
                continue;
            const Settings &s = p->settings;
            QCOMPARE(QStringList({p->model, p->version, p->mac, QString::number(s.groupId),
                                  frequencyText(s.frequencyKHz),
                                  QString::asprintf("%d %d %d %d %d", s.trxRate, s.power,
                                                    s.baudRate, s.parity, s.wakeupTime),
                                  keys(validate(s))})
                         .join('|'),
                     c.second);
            QCOMPARE(encodeWriteRequest(s).isEmpty(), !c.second.endsWith('|'));
        }
    }

    // A frequency read and written back unchanged must not move the module.
    void frequencyRoundTrip()
    {
        for (quint32 k = 1; k <= MAX_FREQUENCY_KHZ; k += k < 2000 ? 1 : 997)
            QVERIFY2(parseFrequency(frequencyText(k)).value_or(0) == k,
                     qPrintable(frequencyText(k)));
    }
};

QTEST_GUILESS_MAIN(TestFrames)
#include "tst_frames.moc"
