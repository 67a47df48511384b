// radioconf-cli read on a bare pseudo-terminal whose far end answers with a
// timing of its own: stray bytes around the reply must not cost the reply,
// and the tail of a cut reply must never be taken for one.
#include "simulator/simulatedmodule.h"

#include "jsonlines.h"

#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

// The replies to a read: the module's values with a group ID of their own,
// so that a reply delivered out of step shows in the values.
static QByteArray replyWithGroup(int group)
{
    SimulatedModule::State state;
    state.groupId = quint8(group);
    return SimulatedModule::block(state);
}

class TestCliLink : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<QProcess::ExitStatus>(); }

    void farEnd_data()
    {
        QTest::addColumn<QByteArray>("stale"); // in the line before the tool starts
        QTest::addColumn<QByteArray>("now");   // sent at each request
        QTest::addColumn<QByteArray>("later"); // sent 500 ms after each request
        // From 4.8 s after the first request on, a byte every 20 ms, so that
        // the re-send at 5 s cuts it; then the whole of it again.
        QTest::addColumn<QByteArray>("acrossResend");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("printed"); // the group ID printed, or the error
        QTest::addColumn<int>("fromMs");      // the tool's whole run, within these
        QTest::addColumn<int>("toMs");

        const QByteArray reply = replyWithGroup(7), none;
        const QString garbled = "bytes came back but no valid reply";
        QTest::newRow("a stray 0x00 before every reply")
            << none << '\0' + reply << none << none << 0 << "7" << 0 << 2000;
        QTest::newRow("a lone 0xFF, the reply 0.5 s later")
            << none << QByteArray("\xff") << reply << none << 0 << "7" << 500 << 2500;
        QTest::newRow("3 stale bytes in the line before the port opens")
            << QByteArray("\x13\x00\xfe", 3) << reply << none << none << 0 << "7" << 0 << 2000;
        QTest::newRow("a reply across the re-send")
            << none << none << none << reply << 0 << "7" << 5000 << 8000;
        // Its tail starts at the group ID, a start byte: the tail and the
        // next reply would make a reply of shifted values.
        QTest::newRow("a 0x24 in the part cut off")
            << none << none << none << replyWithGroup(0x24) << 4 << garbled << 9500 << 13000;
        QTest::newRow("a block that begins with #")
            << none << '#' + reply.mid(1) << none << none << 4 << garbled << 9500 << 13000;
    }

    void farEnd()
    {
        QFETCH(QByteArray, stale);
        QFETCH(QByteArray, now);
        QFETCH(QByteArray, later);
        QFETCH(QByteArray, acrossResend);
        QFETCH(int, exitCode);
        QFETCH(QString, printed);
        QFETCH(int, fromMs);
        QFETCH(int, toMs);

        QByteArray path;
        const int master = SimulatedModule::openTerminal(&path);
        QVERIFY(master >= 0);
        // Held open in raw mode, so that bytes written before the tool opens
        // the line wait in it unchanged.
        const int line = ::open(path.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios raw;
        QVERIFY(line >= 0 && ::tcgetattr(line, &raw) == 0);
        ::cfmakeraw(&raw);
        QVERIFY(::tcsetattr(line, TCSANOW, &raw) == 0);
        QObject context;
        const auto sendAt = [&](int ms, const QByteArray &bytes) {
            QTimer::singleShot(ms, Qt::PreciseTimer, &context, [master, bytes] {
                QCOMPARE(int(::write(master, bytes, bytes.size())), bytes.size());
            });
        };
        sendAt(0, stale);
        int requests = 0;
        QByteArray input;
        QSocketNotifier requestsIn(master, QSocketNotifier::Read);
        connect(&requestsIn, &QSocketNotifier::activated, &context, [&] {
            char buffer[256];
            for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
                input.append(buffer, int(n));
            for (const QByteArray &request = SimulatedModule::READ_REQUEST;
                 input.startsWith(request); input.remove(0, request.size())) {
                sendAt(0, now);
                sendAt(500, later);
                if (requests++ > 0)
                    continue;
                for (int i = 0; i < acrossResend.size(); ++i)
                    sendAt(4800 + i * 20, acrossResend.mid(i, 1));
                sendAt(4800 + acrossResend.size() * 20, acrossResend);
            }
        });

        QProcess tool;
        QSignalSpy finished(&tool, SIGNAL(finished(int, QProcess::ExitStatus)));
        QElapsedTimer clock;
        clock.start();
        tool.start(RADIOCONF_CLI, {"read", "--json", "--quiet", "--port", path});
        QVERIFY(finished.wait(30000));
        const qint64 ms = clock.elapsed();
        const QByteArray out = tool.readAllStandardOutput(), err = tool.readAllStandardError();
        qInfo("%s: exit %d after %lld ms", QTest::currentDataTag(), tool.exitCode(), ms);
        QVERIFY2(tool.exitCode() == exitCode, out + err);
        QVERIFY2(ms >= fromMs && ms < toMs, qPrintable(QString::number(ms)));
        checkJsonLines(out);
        if (exitCode == 0) {
            const QJsonObject values = QJsonDocument::fromJson(out).object();
            QCOMPARE(values.value("group").toInt(-1), printed.toInt());
            QCOMPARE(values.value("mac").toString(), QString("0102030405060708"));
            QCOMPARE(values.value("frequency").toDouble(), 915.0);
        } else {
            QVERIFY2(out.contains("\"outcome\":\"no-reply\"") && err.contains(printed.toUtf8()),
                     out + err);
        }
        requestsIn.setEnabled(false);
        ::close(line);
        ::close(master);
    }
};

QTEST_GUILESS_MAIN(TestCliLink)
#include "tst_clilink.moc"
