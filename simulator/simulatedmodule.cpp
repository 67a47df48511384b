#include "simulator/simulatedmodule.h"

#include <QCryptographicHash>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <chrono>
#include <unistd.h>

namespace {

// Common to both requests; byte 5 and 6 tell them apart.
const QByteArray REQUEST_PREFIX = QByteArray::fromHex("ff4ccf52a1");

const struct
{
    const char *name;
    SimulatedModule::Behaviour behaviour;
} BEHAVIOUR_NAMES[] = {
    {"normal", SimulatedModule::Behaviour::Normal},
    {"silent", SimulatedModule::Behaviour::Silent},
    {"resend-only", SimulatedModule::Behaviour::AnswerResendOnly},
    {"trickle", SimulatedModule::Behaviour::Trickle},
    {"wrong-start", SimulatedModule::Behaviour::WrongStartByte},
    {"padded", SimulatedModule::Behaviour::Padded},
    {"ignore-writes", SimulatedModule::Behaviour::IgnoreWrites},
    {"hang-up", SimulatedModule::Behaviour::HangUp},
};

} // namespace

qint64 SimulatedModule::nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const QByteArray SimulatedModule::READ_REQUEST = QByteArray::fromHex("ff4ccf52a152f0");
const QByteArray SimulatedModule::WRITE_REQUEST_HEADER = QByteArray::fromHex("ff4ccf52a157f1");

SimulatedModule::SimulatedModule(int fd, Behaviour behaviour, bool ownsDescriptor, QObject *parent)
    : QObject(parent), m_fd(fd), m_ownsDescriptor(ownsDescriptor), m_behaviour(behaviour)
{
    m_trickleTimer = new QTimer(this);
    connect(m_trickleTimer, &QTimer::timeout, this, &SimulatedModule::sendNextTrickleByte);
    if (m_fd >= 0) {
        // Hold the line's own end open too: a pseudo-terminal master whose
        // other end has no opener reads as hung up and would wake us
        // endlessly between the port's opens.
        char name[128];
        if (ptsname_r(m_fd, name, sizeof name) == 0)
            m_lineFd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        // A UART has no line discipline: no echo, no line editing.
        termios raw;
        if (m_lineFd >= 0 && tcgetattr(m_lineFd, &raw) == 0) {
            cfmakeraw(&raw);
            tcsetattr(m_lineFd, TCSANOW, &raw);
        }
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &SimulatedModule::onReadable);
    }
}

int SimulatedModule::openTerminal(QByteArray *path)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        const int error = errno;
        if (master >= 0)
            ::close(master);
        errno = error;
        return -1;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    *path = name;
    return master;
}

SimulatedModule::~SimulatedModule()
{
    detach();
}

bool SimulatedModule::parseBehaviour(const QString &name, Behaviour *behaviour)
{
    for (const auto &entry : BEHAVIOUR_NAMES) {
        if (name == QLatin1String(entry.name)) {
            *behaviour = entry.behaviour;
            return true;
        }
    }
    return false;
}

QStringList SimulatedModule::behaviourNames()
{
    QStringList names;
    for (const auto &entry : BEHAVIOUR_NAMES)
        names << QString::fromLatin1(entry.name);
    return names;
}

QByteArray SimulatedModule::macForPort(const QString &name)
{
    return QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).left(8);
}

QByteArray SimulatedModule::block(const State &state)
{
    QByteArray out;
    out.reserve(BLOCK_LENGTH);
    out += '\x24';
    out += state.model.leftJustified(4, '\0', true);
    out += state.version.leftJustified(7, '\0', true);
    out += state.mac.leftJustified(8, '\0', true);
    out += char(state.groupId);
    out += char((state.frequencyKhz >> 16) & 0xff);
    out += char((state.frequencyKhz >> 8) & 0xff);
    out += char(state.frequencyKhz & 0xff);
    out += char(state.trxRate);
    out += char(state.power);
    out += char(state.baudRate);
    out += char(state.parity);
    out += char(state.wakeupTime);
    out += '\0';
    return out;
}

void SimulatedModule::detach()
{
    m_trickleTimer->stop();
    if (m_notifier) {
        m_notifier->setEnabled(false);
        delete m_notifier;
        m_notifier = nullptr;
    }
    if (m_lineFd >= 0)
        ::close(m_lineFd);
    m_lineFd = -1;
    if (m_ownsDescriptor && m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void SimulatedModule::hangUp()
{
    const int fd = m_fd;
    const bool owned = m_ownsDescriptor;
    detach();
    if (!owned && fd >= 0) {
        // Not ours to close, but the line must go dead as a pulled adapter's
        // does: put /dev/null in the descriptor's place, so its owner still
        // closes a valid descriptor later.
        const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (null >= 0) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
    emit hungUp();
}

void SimulatedModule::onReadable()
{
    char buffer[256];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n <= 0) {
        // The line's other end is gone (EIO on a pseudo-terminal master whose
        // port is closed) or nothing was there: wait for the next open.
        if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO)
            detach();
        return;
    }
    m_input.append(buffer, int(n));
    handleFrames();
}

void SimulatedModule::handleFrames()
{
    for (;;) {
        const int start = m_input.indexOf(REQUEST_PREFIX);
        if (start < 0) {
            // Keep a tail that may be the beginning of a prefix.
            m_input = m_input.right(REQUEST_PREFIX.size() - 1);
            return;
        }
        m_input.remove(0, start);
        if (m_input.size() < READ_REQUEST.size())
            return;
        QByteArray request;
        if (m_input.startsWith(READ_REQUEST)) {
            request = m_input.left(READ_REQUEST.size());
        } else if (m_input.startsWith(WRITE_REQUEST_HEADER)) {
            if (m_input.size() < WRITE_REQUEST_LENGTH)
                return;
            request = m_input.left(WRITE_REQUEST_LENGTH);
        } else {
            m_input.remove(0, 1); // a prefix that leads nowhere
            continue;
        }
        m_input.remove(0, request.size());
        m_lastRequestNs = nowNs();
        m_requests << request;
        ++m_requestsInBehaviour;
        emit requestReceived(request);

        const bool isWrite = request.startsWith(WRITE_REQUEST_HEADER);
        if (isWrite && m_behaviour != Behaviour::IgnoreWrites) {
            const auto value = [&request](int i) { return quint8(request.at(i)); };
            m_state.frequencyKhz = (quint32(value(7)) << 16) | (quint32(value(8)) << 8) | value(9);
            m_state.groupId = value(10);
            m_state.trxRate = value(11);
            m_state.power = value(12);
            m_state.baudRate = value(13);
            m_state.parity = value(14);
            m_state.wakeupTime = value(15);
        }

        switch (m_behaviour) {
        case Behaviour::Silent:
            break;
        case Behaviour::AnswerResendOnly:
            if (m_requestsInBehaviour > 1)
                answer(block(m_state));
            break;
        case Behaviour::WrongStartByte: {
            QByteArray reply = block(m_state);
            reply[0] = '#';
            answer(reply);
            break;
        }
        case Behaviour::Padded: {
            QByteArray reply = block(m_state);
            for (int i = reply.size(); i < PADDED_LENGTH; ++i)
                reply += char(0xa0 + i);
            answer(reply);
            break;
        }
        case Behaviour::HangUp:
            hangUp();
            return;
        default:
            answer(block(m_state));
            break;
        }
    }
}

void SimulatedModule::answer(const QByteArray &reply)
{
    if (m_behaviour == Behaviour::Trickle) {
        m_trickle += reply;
        m_trickleReply = reply;
        if (!m_trickleTimer->isActive())
            m_trickleTimer->start(m_trickleDelay);
        return;
    }
    writeAll(reply);
    m_lastReplyEndNs = nowNs();
    emit replySent(reply);
}

void SimulatedModule::sendNextTrickleByte()
{
    if (m_trickle.isEmpty() || m_fd < 0) {
        m_trickleTimer->stop();
        return;
    }
    writeAll(m_trickle.left(1));
    m_trickle.remove(0, 1);
    if (m_trickle.isEmpty()) {
        m_trickleTimer->stop();
        m_lastReplyEndNs = nowNs();
        emit replySent(m_trickleReply);
    }
}

void SimulatedModule::writeAll(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0 && m_fd >= 0) {
        const ssize_t n = ::write(m_fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return;
        }
        data += n;
        left -= n;
    }
}
