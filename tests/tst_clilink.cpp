// radioconf-cli read on a bare pseudo-terminal whose far end answers with a
// timing of its own: stray bytes around the reply must not cost the reply,
// and the tail of a cut reply must never be taken for one.
#include "simulator/simulatedmodule.h"

#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The replies to a read: the module's values with a group ID of their own,
// so that a reply delivered out of step shows in the values.
QByteArray replyWithGroup(int group)
{
    SimulatedModule::State state;
    state.groupId = quint8(group);
    return SimulatedModule::block(state);
}
const QByteArray REPLY = replyWithGroup(7), DOLLAR_REPLY = replyWithGroup(0x24);

// The module's end of the line. A row's script runs once with request -1
// before the tool starts, then as each request (from 0) is complete.
class FarEnd : public QObject
{
public:
    using Script = std::function<void(FarEnd &end, int request)>;

    FarEnd(int fd, Script script)
        : m_fd(fd), m_notifier(fd, QSocketNotifier::Read), m_script(std::move(script))
    {
        m_script(*this, -1);
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] {
            char buffer[256];
            ssize_t n;
            while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
                m_input.append(buffer, int(n));
            const QByteArray &request = SimulatedModule::READ_REQUEST;
            for (; m_input.startsWith(request); m_input.remove(0, request.size()))
                m_script(*this, m_requests++);
        });
    }
    void send(const QByteArray &bytes)
    {
        QCOMPARE(int(::write(m_fd, bytes, bytes.size())), bytes.size());
    }
    void sendAt(int ms, const QByteArray &bytes)
    {
        QTimer::singleShot(ms, Qt::PreciseTimer, this, [this, bytes] { send(bytes); });
    }
    // From startMs on, a byte every 20 ms, then the whole of next.
    void trickle(int startMs, const QByteArray &bytes, const QByteArray &next)
    {
        for (int i = 0; i < bytes.size(); ++i)
            sendAt(startMs + i * 20, bytes.mid(i, 1));
        sendAt(startMs + bytes.size() * 20, next);
    }

private:
    int m_fd;
    QSocketNotifier m_notifier;
    Script m_script;
    QByteArray m_input;
    int m_requests = 0;
};

// group: in the values printed, -1 for none; error: in what stderr says; the
// tool's whole run within fromMs and toMs.
void row(const char *name, FarEnd::Script script, int exitCode, int group, const QString &error,
         int fromMs, int toMs)
{
    QTest::newRow(name) << script << exitCode << group << error << fromMs << toMs;
}

} // namespace

Q_DECLARE_METATYPE(FarEnd::Script)

class TestCliLink : public QObject
{
    Q_OBJECT
private slots:
    void farEnd_data()
    {
        QTest::addColumn<FarEnd::Script>("script");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("group");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("fromMs");
        QTest::addColumn<int>("toMs");
        const QString garbled = "bytes came back but no valid reply";

        row(
            "a stray 0x00 before every reply",
            [](FarEnd &end, int request) {
                if (request >= 0)
                    end.send('\0' + REPLY);
            },
            0, 7, {}, 0, 2000);
        row(
            "a lone 0xFF, the reply 0.5 s later",
            [](FarEnd &end, int request) {
                if (request >= 0) {
                    end.send("\xff");
                    end.sendAt(500, REPLY);
                }
            },
            0, 7, {}, 500, 2500);
        row(
            "3 stale bytes in the line before the port opens",
            [](FarEnd &end, int request) {
                end.send(request < 0 ? QByteArray("\x13\x00\xfe", 3) : REPLY);
            },
            0, 7, {}, 0, 2000);
        // The re-send clears the reply's first bytes; its tail follows, then
        // the answer to the re-send.
        row(
            "a reply across the re-send",
            [](FarEnd &end, int request) {
                if (request == 0)
                    end.trickle(4800, REPLY, REPLY);
            },
            0, 7, {}, 5000, 8000);
        // Its tail starts at the group ID, a start byte: the tail and the
        // next reply would make a reply of shifted values.
        row(
            "a 0x24 in the part cut off",
            [](FarEnd &end, int request) {
                if (request == 0)
                    end.trickle(4800, DOLLAR_REPLY, DOLLAR_REPLY);
            },
            4, -1, garbled, 9500, 13000);
        row(
            "a block that begins with #",
            [](FarEnd &end, int request) {
                if (request >= 0)
                    end.send('#' + REPLY.mid(1));
            },
            4, -1, garbled, 9500, 13000);
    }

    void farEnd()
    {
        QFETCH(FarEnd::Script, script);
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
            FarEnd end(master, script);
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
