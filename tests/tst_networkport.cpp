// The telnet and RFC 2217 coding of network ports, and their names.
#include "config/networklinkport.h"
#include "config/telnetcodec.h"

#include <QtTest>

using Agreement = TelnetCodec::Agreement;
Q_DECLARE_METATYPE(TelnetCodec::Agreement)

static QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

class TestNetworkPort : public QObject
{
    Q_OBJECT
private slots:
    void decode_data()
    {
        QTest::addColumn<QByteArrayList>("chunks"); // from the server, after our greeting
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<Agreement>("comPort");
        QTest::addColumn<QByteArray>("baudRate"); // its value as last reported

        const QByteArray none;
        QTest::newRow("data") << QByteArrayList{hex("2400010d0a")} << hex("2400010d0a") << none
                              << Agreement::Pending << none;
        QTest::newRow("escaped 0xFF, split between chunks")
            << QByteArrayList{hex("24ff"), hex("ff41ff"), hex("ff")} << hex("24ff41ff") << none
            << Agreement::Pending << none;
        // ser2net's own greeting: only its offer to echo is refused.
        QTest::newRow("ser2net's greeting")
            << QByteArrayList{hex("fffb03fffd03fffb01fffe01fffd00fffb00fffd2c")} << none
            << hex("fffe01") << Agreement::Agreed << none;
        QTest::newRow("COM-PORT-OPTION refused")
            << QByteArrayList{hex("fffe2c")} << none << none << Agreement::Refused << none;
        QTest::newRow("unknown options declined")
            << QByteArrayList{hex("fffd18fffb1f")} << none << hex("fffc18fffe1f")
            << Agreement::Pending << none;
        QTest::newRow("an agreed option switched off")
            << QByteArrayList{hex("fffd00fffe00")} << none << hex("fffc00") << Agreement::Pending
            << none;
        QTest::newRow("answers between data, split anywhere")
            << QByteArrayList{hex("41fffa2c65"),     hex("000025"), hex("80fff0"),
                              hex("42fffa2c6b00ff"), hex("f0fff1"), hex("43")}
            << QByteArray("ABC") << none << Agreement::Pending << hex("00002580");
        QTest::newRow("escaped 0xFF in a value, the latest wins")
            << QByteArrayList{hex("fffa2c6500002580fff0fffa2c6500ffff0000fff0")} << none << none
            << Agreement::Pending << hex("00ff0000");
        QTest::newRow("overlong subnegotiation dropped")
            << QByteArrayList{hex("fffa2c65") + QByteArray(100, 'x') + hex("fff044")}
            << QByteArray("D") << none << Agreement::Pending << none;
        QTest::newRow("client commands are no answers")
            << QByteArrayList{hex("fffa2c0100002580fff0")} << none << none << Agreement::Pending
            << none;
    }

    void decode()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, answers);
        QFETCH(Agreement, comPort);
        QFETCH(QByteArray, baudRate);

        TelnetCodec codec;
        QCOMPARE(codec.greeting(), hex("fffb2cfffb00fffb03fffd00fffd03"));
        QByteArray decoded;
        for (const QByteArray &chunk : chunks)
            decoded += codec.decode(chunk);
        QCOMPARE(decoded.toHex(), data.toHex());
        QCOMPARE(codec.takeAnswers().toHex(), answers.toHex());
        QCOMPARE(codec.comPortOption(), comPort);
        bool reported = false;
        QCOMPARE(codec.value(TelnetCodec::SET_BAUDRATE, &reported).toHex(), baudRate.toHex());
        QCOMPARE(reported, !baudRate.isEmpty());
    }

    void encode_data()
    {
        QTest::addColumn<QByteArray>("encoded");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("data without 0xFF") << TelnetCodec::escape(hex("24000d")) << hex("24000d");
        QTest::newRow("a read request")
            << TelnetCodec::escape(hex("ff4ccf52a152f0")) << hex("ffff4ccf52a152f0");
        QTest::newRow("0xFF 0xFF") << TelnetCodec::escape(hex("ffff")) << hex("ffffffff");
        QTest::newRow("SET-BAUDRATE 9600")
            << TelnetCodec::command(TelnetCodec::SET_BAUDRATE, hex("00002580"))
            << hex("fffa2c0100002580fff0");
        QTest::newRow("PURGE-DATA both")
            << TelnetCodec::command(TelnetCodec::PURGE_DATA, hex("03")) << hex("fffa2c0c03fff0");
        QTest::newRow("a value with 0xFF")
            << TelnetCodec::command(TelnetCodec::SET_BAUDRATE, hex("0000ff00"))
            << hex("fffa2c010000ffff00fff0");
    }

    void encode()
    {
        QFETCH(QByteArray, encoded);
        QFETCH(QByteArray, expected);
        QCOMPARE(encoded.toHex(), expected.toHex());
    }

    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parsed");
        // name, then "rfc2217|tcp host port" or the error's cause
        const char *const rows[][3] = {
            {"rfc2217, IPv4", "rfc2217://127.0.0.1:7001", "rfc2217 127.0.0.1 7001"},
            {"tcp, scheme in capitals", "TCP://gw-3.example.org:65535",
             "tcp gw-3.example.org 65535"},
            {"IPv6", "rfc2217://[::1]:1", "rfc2217 ::1 1"},
            {"no port", "rfc2217://127.0.0.1", "no port number"},
            {"port 0", "tcp://host:0", "must be 1 to 65535"},
            {"port too large", "tcp://host:65536", "must be 1 to 65535"},
            {"port not a number", "tcp://host:70a", "must be 1 to 65535"},
            {"a path after the port", "tcp://host:7001/x", "must be 1 to 65535"},
            {"no host", "tcp://:7001", "no host name or address"},
            {"a bad IPv4 address", "tcp://127.0.0.300:7001", "no host name or address"},
            {"IPv6 without brackets", "tcp://::1:7001", "goes in brackets"},
            {"no IPv6 in brackets", "tcp://[host]:7001", "no IPv6 address"},
            {"user part", "tcp://me@host:7001", "no host name or address"},
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]);
    }

    void names()
    {
        QFETCH(QString, name);
        QFETCH(QString, parsed);
        QVERIFY(LinkPort::isNetworkName(name));
        NetworkLinkPort::Address address;
        QString error;
        if (NetworkLinkPort::parseName(name, &address, &error)) {
            QCOMPARE(QString("%1 %2 %3")
                         .arg(address.rfc2217 ? "rfc2217" : "tcp", address.host)
                         .arg(address.port),
                     parsed);
        } else {
            QVERIFY2(error.startsWith(name + ": ") && error.contains(parsed), qPrintable(error));
        }
        QVERIFY(!LinkPort::isNetworkName("/dev/ttyUSB0"));
    }
};

QTEST_GUILESS_MAIN(TestNetworkPort)
#include "tst_networkport.moc"
