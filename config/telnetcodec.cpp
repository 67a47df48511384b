#include "config/telnetcodec.h"

namespace {
// The options this side takes on, and those it lets the far end take on.
bool weMay(quint8 option)
{
    return option == TelnetCodec::BINARY || option == TelnetCodec::SUPPRESS_GO_AHEAD ||
           option == TelnetCodec::COM_PORT_OPTION;
}

bool theyMay(quint8 option)
{
    return option == TelnetCodec::BINARY || option == TelnetCodec::SUPPRESS_GO_AHEAD;
}
} // namespace

QByteArray TelnetCodec::decode(const QByteArray &in)
{
    QByteArray data;
    data.reserve(in.size());
    for (const char c : in) {
        const quint8 byte = quint8(c);
        switch (m_state) {
        case State::Data:
            if (byte == IAC)
                m_state = State::Iac;
            else
                data += c;
            break;
        case State::Iac:
            if (byte == IAC) {
                data += c;
                m_state = State::Data;
            } else if (byte >= WILL && byte <= DONT) {
                m_verb = byte;
                m_state = State::Verb;
            } else if (byte == SB) {
                m_sub.clear();
                m_subOverflow = false;
                m_state = State::Sub;
            } else {
                m_state = State::Data; // NOP, GA, BRK and the like carry nothing
            }
            break;
        case State::Verb:
            negotiate(m_verb, byte);
            m_state = State::Data;
            break;
        case State::Sub:
            if (byte == IAC)
                m_state = State::SubIac;
            else if (m_sub.size() < MAX_SUB_LENGTH)
                m_sub += c;
            else
                m_subOverflow = true;
            break;
        case State::SubIac:
            if (byte == IAC) {
                if (m_sub.size() < MAX_SUB_LENGTH)
                    m_sub += c;
                else
                    m_subOverflow = true;
                m_state = State::Sub;
            } else {
                // IAC SE ends it; any other command ends it as well, cut short.
                if (byte == SE)
                    endSub();
                m_state = State::Data;
            }
            break;
        }
    }
    return data;
}

QByteArray TelnetCodec::takeAnswers()
{
    QByteArray answers;
    answers.swap(m_answers);
    return answers;
}

TelnetCodec::Agreement TelnetCodec::comPortOption() const
{
    if (m_willOn[COM_PORT_OPTION])
        return Agreement::Agreed;
    return m_comPortRefused ? Agreement::Refused : Agreement::Pending;
}

QByteArray TelnetCodec::value(quint8 command, bool *hasValue) const
{
    const auto found = m_values.constFind(command);
    if (hasValue)
        *hasValue = found != m_values.constEnd();
    return found != m_values.constEnd() ? *found : QByteArray();
}

QByteArray TelnetCodec::escape(const QByteArray &data)
{
    QByteArray escaped;
    escaped.reserve(data.size() + data.count(char(IAC)));
    for (const char c : data) {
        escaped += c;
        if (quint8(c) == IAC)
            escaped += c;
    }
    return escaped;
}

QByteArray TelnetCodec::greeting()
{
    for (const quint8 option : {COM_PORT_OPTION, BINARY, SUPPRESS_GO_AHEAD}) {
        if (!m_willOn[option] && !m_willAsked[option]) {
            m_willAsked.set(option);
            send(WILL, option);
        }
    }
    for (const quint8 option : {BINARY, SUPPRESS_GO_AHEAD}) {
        if (!m_doOn[option] && !m_doAsked[option]) {
            m_doAsked.set(option);
            send(DO, option);
        }
    }
    return takeAnswers();
}

QByteArray TelnetCodec::command(quint8 command, const QByteArray &value)
{
    return QByteArray() + char(IAC) + char(SB) + char(COM_PORT_OPTION) + char(command) +
           escape(value) + char(IAC) + char(SE);
}

// Answers as RFC 1143 has it, short of its queue: a request that was ours is
// answered by theirs, never again by us, so that no two ends loop.
void TelnetCodec::negotiate(quint8 verb, quint8 option)
{
    const bool yes = verb == DO || verb == WILL;
    const bool ours = verb == DO || verb == DONT; // about our side of the option
    std::bitset<256> &asked = ours ? m_willAsked : m_doAsked;
    std::bitset<256> &on = ours ? m_willOn : m_doOn;
    const bool may = ours ? weMay(option) : theyMay(option);
    const bool wasAsked = asked[option];
    asked.reset(option);
    if (yes && may) {
        if (!on[option] && !wasAsked)
            send(ours ? WILL : DO, option);
        on.set(option);
    } else if (yes) {
        send(ours ? WONT : DONT, option);
    } else {
        if (on[option])
            send(ours ? WONT : DONT, option);
        on.reset(option);
        if (ours && option == COM_PORT_OPTION)
            m_comPortRefused = true;
    }
}

void TelnetCodec::endSub()
{
    if (m_subOverflow || m_sub.size() < 2 || quint8(m_sub.at(0)) != COM_PORT_OPTION)
        return;
    const quint8 code = quint8(m_sub.at(1));
    if (code > SERVER_OFFSET)
        m_values.insert(quint8(code - SERVER_OFFSET), m_sub.mid(2));
}

void TelnetCodec::send(quint8 verb, quint8 option)
{
    m_answers += char(IAC);
    m_answers += char(verb);
    m_answers += char(option);
}
