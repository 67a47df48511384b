#ifndef SIMULATEDMODULE_H
#define SIMULATEDMODULE_H

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>

class QSocketNotifier;
class QTimer;

// A radio module at the far end of a serial line: it reads the requests that
// arrive on a descriptor and answers with its parameter block, as the real
// module does, or misbehaves in one of the ways a test asks for.
class SimulatedModule : public QObject
{
    Q_OBJECT
public:
    enum class Behaviour {
        Normal,
        Silent,
        AnswerResendOnly, // ignores its first request, answers the next ones
        Trickle,          // the reply goes out one byte at a time
        WrongStartByte,
        Padded,       // the reply is followed by 10 more bytes, in one write
        IgnoreWrites, // answers a write with its state unchanged
        HangUp,       // the line goes dead after the first request (hungUp())
    };

    struct State
    {
        QByteArray model = QByteArrayLiteral("SIM1");
        QByteArray version = QByteArrayLiteral("1.0.000");
        QByteArray mac = QByteArray::fromHex("0102030405060708");
        quint8 groupId = 0;
        quint32 frequencyKhz = 915000;
        quint8 trxRate = 3;
        quint8 power = 7;
        quint8 baudRate = 3;
        quint8 parity = 0;
        quint8 wakeupTime = 5;
    };

    static const QByteArray READ_REQUEST;
    static const QByteArray WRITE_REQUEST_HEADER;
    static constexpr int WRITE_REQUEST_LENGTH = 16;
    static constexpr int BLOCK_LENGTH = 30;
    static constexpr int PADDED_LENGTH = 40;

    // Serves fd (not owned unless ownsDescriptor) from this thread's event loop.
    explicit SimulatedModule(int fd, Behaviour behaviour = Behaviour::Normal,
                             bool ownsDescriptor = false, QObject *parent = nullptr);
    ~SimulatedModule() override;

    // Opens a new pseudo-terminal for a module to serve: returns its far end
    // (non-blocking), for the constructor, and sets *path to the end a port
    // opens; -1, with errno set, when none can be had.
    static int openTerminal(QByteArray *path);
    static bool parseBehaviour(const QString &name, Behaviour *behaviour);
    static QStringList behaviourNames();
    // A MAC of the module behind the port NAME: the same for the same name,
    // so that tools keyed by MAC can tell the modules of a line apart.
    static QByteArray macForPort(const QString &name);

    void setBehaviour(Behaviour behaviour)
    {
        m_behaviour = behaviour;
        m_requestsInBehaviour = 0;
    }
    void setTrickleDelay(int ms) { m_trickleDelay = ms; }
    State state() const { return m_state; }
    void setState(const State &state) { m_state = state; }
    // The parameter block as the module sends it for state.
    static QByteArray block(const State &state);

    // Steady-clock time in ns, the clock of the times below.
    static qint64 nowNs();

    // Every request received, byte for byte, in order.
    QList<QByteArray> requests() const { return m_requests; }
    // Steady-clock time (ns) at which the last byte of the latest reply was
    // written; 0 before the first reply.
    qint64 lastReplyEndNs() const { return m_lastReplyEndNs.load(); }
    // Steady-clock time (ns) at which the latest request was complete.
    qint64 lastRequestNs() const { return m_lastRequestNs.load(); }
    // Stops serving; the descriptor is closed if owned.
    void detach();

signals:
    void requestReceived(QByteArray request);
    void replySent(QByteArray reply);
    // HangUp: the line went dead; whoever holds the adapter pulls it out.
    void hungUp();

private:
    void hangUp();
    void onReadable();
    void handleFrames();
    void answer(const QByteArray &reply);
    void sendNextTrickleByte();
    void writeAll(const QByteArray &bytes);

    int m_fd;
    int m_lineFd = -1;
    bool m_ownsDescriptor;
    Behaviour m_behaviour;
    State m_state;
    int m_trickleDelay = 20;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_trickleTimer = nullptr;
    QByteArray m_input;
    QByteArray m_trickle;
    QByteArray m_trickleReply;
    QList<QByteArray> m_requests;
    int m_requestsInBehaviour = 0;
    std::atomic<qint64> m_lastReplyEndNs{0};
    std::atomic<qint64> m_lastRequestNs{0};
};

#endif // SIMULATEDMODULE_H
