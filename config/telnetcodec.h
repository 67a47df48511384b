#ifndef TELNETCODEC_H
#define TELNETCODEC_H

#include <QByteArray>
#include <QHash>

#include <bitset>

// The telnet side of a network port: splits what the far end sends into the
// module's bytes and telnet commands, answers its option negotiation, keeps
// the COM-PORT-OPTION values it reports, and codes what goes out. No I/O.
class TelnetCodec
{
public:
    // Telnet's bytes (RFC 854) and COM-PORT-OPTION's (RFC 2217).
    enum : quint8 {
        IAC = 255,
        DONT = 254,
        DO = 253,
        WONT = 252,
        WILL = 251,
        SB = 250,
        SE = 240,
        BINARY = 0,
        SUPPRESS_GO_AHEAD = 3,
        COM_PORT_OPTION = 44,
    };
    enum : quint8 {
        SET_BAUDRATE = 1,
        SET_DATASIZE = 2,
        SET_PARITY = 3,
        SET_STOPSIZE = 4,
        SET_CONTROL = 5,
        PURGE_DATA = 12,
        // The server answers a command with its number plus this.
        SERVER_OFFSET = 100,
    };
    enum class Agreement { Pending, Agreed, Refused };

    // The module's bytes among those from the far end; split sequences are
    // completed by the next call. Answers to its negotiation queue up.
    QByteArray decode(const QByteArray &in);
    // The answers queued so far, taken out.
    QByteArray takeAnswers();
    // Whether the far end took COM-PORT-OPTION from us.
    Agreement comPortOption() const;
    // The value the far end last reported for a client command (SET_BAUDRATE
    // and so on), unescaped; hasValue is false before any.
    QByteArray value(quint8 command, bool *hasValue = nullptr) const;
    // Back to a fresh connection's state.
    void reset() { *this = TelnetCodec(); }

    // The module's bytes as telnet data: 0xFF doubled.
    static QByteArray escape(const QByteArray &data);
    // The options asked for on connecting: COM-PORT-OPTION, and binary
    // transmission without go-ahead both ways, so that data passes unchanged.
    QByteArray greeting();
    // A COM-PORT-OPTION command with its value.
    static QByteArray command(quint8 command, const QByteArray &value);

private:
    enum class State { Data, Iac, Verb, Sub, SubIac };
    static constexpr int MAX_SUB_LENGTH = 64;

    void negotiate(quint8 verb, quint8 option);
    void endSub();
    void send(quint8 verb, quint8 option);

    State m_state = State::Data;
    quint8 m_verb = 0;
    QByteArray m_sub;
    bool m_subOverflow = false;
    QByteArray m_answers;
    // Per option, on our side (WILL) and on theirs (DO): asked for and not
    // answered yet, or in effect.
    std::bitset<256> m_willAsked, m_willOn, m_doAsked, m_doOn;
    bool m_comPortRefused = false;
    QHash<quint8, QByteArray> m_values;
};

#endif // TELNETCODEC_H
