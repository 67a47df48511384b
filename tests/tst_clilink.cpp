// radioconf-cli read on a bare pseudo-terminal whose far end answers with a
// timing of its own: stray bytes around the reply must not cost the reply,
// and the tail of a cut reply must never be taken for one.
#include "simulator/simulatedmodule.h"

#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <functional>

namespace {

// The reply to a read: the module's values with a group ID of its own, so
// that a reply delivered out of step shows in the values.
QByteArray replyWithGroup(int group)
{
    SimulatedModule::State state;
    state.groupId = quint8(group);
    return SimulatedModule::block(state);
}

// The module's end of the line, driven by a script: answer(n) runs when the
// n-th request (from 0) is complete.
class FarEnd : public QObject
{
public:
    explicit FarEnd(int fd) : m_fd(fd), m_notifier(fd, QSocketNotifier::Read)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] {
            char buffer[256];
            ssize_t n;
            while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
                m_input.append(buffer, int(n));
            while (m_input.size() >= SimulatedModule::READ_REQUEST.size()) {
                QVERIFY(m_input.startsWith(SimulatedModule::READ_REQUEST));
                m_input.remove(0, SimulatedModule::READ_REQUEST.size());
                if (answer)
                    answer(m_requests);
                ++m_requests;
            }
        });
    }
    void send(const QByteArray &bytes)
    {
        QCOMPARE(::write(m_fd, bytes.data(), bytes.size()), bytes.size());
    }
    void sendAt(int ms, const QByteArray &bytes)
    {
        QTimer::singleShot(ms, Qt::PreciseTimer, this, [this, bytes] { send(bytes); });
    }
    // One byte every perByteMs from startMs on; then() after the last.
    void trickle(int startMs, int perByteMs, const QByteArray &bytes, std::function<void()> then)
    {
        for (int i = 0; i < bytes.size(); ++i)
            sendAt(startMs + i * perByteMs, bytes.mid(i, 1));
        QTimer::singleShot(startMs + bytes.size() * perByteMs, Qt::PreciseTimer, this, then);
    }

    std::function<void(int request)> answer;

private:
    int m_fd;
    QSocketNotifier m_notifier;
    QByteArray m_input;
    int m_requests = 0;
};

using Script = std::function<void(FarEnd &)>;

} // namespace

Q_DECLARE_METATYPE(Script)

class TestCliLink : public QObject
{
    Q_OBJECT
private slots:
    void farEnd_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("group"); // in the values printed; -1: none printed
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("fromMs"); // the tool's whole run, in these bounds
        QTest::addColumn<int>("toMs");

        const QByteArray reply = replyWithGroup(7);
        QTest::newRow("a stray 0x00 before every reply") << Script([=](FarEnd &end) {
            end.answer = [&end, reply](int) { end.send('\0' + reply); };
        }) << 0 << 7 << QString() << 0 << 2000;
        QTest::newRow("a lone 0xFF, the reply 0.5 s later") << Script([=](FarEnd &end) {
            end.answer = [&end, reply](int) {
                end.send("\xff");
                end.sendAt(500, reply);
            };
        }) << 0 << 7 << QString() << 500 << 2500;
        QTest::newRow("3 stale bytes in the line before the port opens")
            << Script([=](FarEnd &end) {
                   end.send(QByteArray("\x13\x00\xfe", 3));
                   end.answer = [&end, reply](int) { end.send(reply); };
               })
            << 0 << 7 << QString() << 0 << 2000;
        // The re-send clears the reply's first bytes; its tail follows, then
        // the answer to the re-send.
        QTest::newRow("a reply across the re-send") << Script([=](FarEnd &end) {
            end.answer = [&end, reply](int request) {
                if (request == 0)
                    end.trickle(4800, 20, reply, [&end, reply] { end.send(reply); });
            };
        }) << 0 << 7 << QString() << 5000 << 8000;
        // Its tail starts at the group ID, a start byte: the tail and the
        // next reply would make a reply of shifted values.
        const QByteArray dollar = replyWithGroup(0x24);
        QTest::newRow("a 0x24 in the part cut off") << Script([=](FarEnd &end) {
            end.answer = [&end, dollar](int request) {
                if (request == 0)
                    end.trickle(4800, 20, dollar, [&end, dollar] { end.send(dollar); });
            };
        }) << 4 << -1 << QString("bytes came back but no valid reply")
                                                    << 9500 << 13000;
        QTest::newRow("a block that begins with #") << Script([=](FarEnd &end) {
            end.answer = [&end, reply](int) { end.send('#' + reply.mid(1)); };
        }) << 4 << -1 << QString("bytes came back but no valid reply")
                                                    << 9500 << 13000;
    }

    void farEnd()
    {
        QFETCH(Script, script);
        QFETCH(int, exitCode);
        QFETCH(int, group);
        QFETCH(QString, error);
        QFETCH(int, fromMs);
        QFETCH(int, toMs);

        QByteArray path;
        const int master = SimulatedModule::openTerminal(&path);
        QVERIFY(master >= 0);
        // Held open in raw mode, so that bytes written before the tool opens
        // the line wait in it unchanged.
        const int line = ::open(path.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(line >= 0);
        termios raw;
        QVERIFY(::tcgetattr(line, &raw) == 0);
        ::cfmakeraw(&raw);
        QVERIFY(::tcsetattr(line, TCSANOW, &raw) == 0);
        {
            FarEnd end(master);
            script(end);
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
            if (group < 0) {
                QVERIFY2(out.isEmpty(), out);
                QVERIFY2(err.contains(error.toUtf8()), err);
            } else {
                const QJsonObject values = QJsonDocument::fromJson(out).object();
                QCOMPARE(values.value("group").toInt(-1), group);
                QCOMPARE(values.value("mac").toString(), QString("0102030405060708"));
                QCOMPARE(values.value("frequency").toDouble(), 915.0);
            }
        }
        ::close(line);
        ::close(master);
    }
};

QTEST_GUILESS_MAIN(TestCliLink)
#include "tst_clilink.moc"
