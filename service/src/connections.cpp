#include "connections.h"

#include "servicelog.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/logwriter.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <poll.h>
#include <sys/resource.h>
#include <utility>

using platform::describe;

namespace {

constexpr int ErrNoSuchElement = 340;

// What is read from a socket at a time, and all that Qt buffers for it, so
// that a client sending without end costs a bounded amount of memory.
constexpr qint64 ReadChunk = protocol::MaxMessageLength + 1;
// A connection closed from this side gets this long to write what it still
// holds before it is cut off.
constexpr int CloseGraceMs = 10000;
// One turn of a connection runs at most this many messages, and no more
// once this much time has gone, before the other connections get theirs.
constexpr int MessagesPerTurn = 4;
constexpr qint64 TurnBudgetMs = 10;

// As log watchers expect it: an IPv4 client of a dual-stack socket in its
// dotted form, not as "::ffff:192.0.2.7".
QString PeerAddressText(const QTcpSocket &socket)
{
    const QHostAddress address = socket.peerAddress();
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

} // namespace

int ConnectionLimits::DefaultMaxConnections()
{
    constexpr int Most = 2000;
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY)
        return Most;
    return static_cast<int>(std::min<rlim_t>(Most, files.rlim_cur / 2));
}

struct Connections::Slot {
    QTcpSocket *socket = nullptr;
    QString Tag;
    protocol::ReceiveBuffer ReceiveBuffer;
    QString peerAddress;
    QElapsedTimer accepted;
    bool loggedIn = false;
    bool AllowFreeNumbers = false;
    bool ignoredRequestReported = false;
    bool turnScheduled = false;
    bool peerClosed = false;
    int droppedAnswers = 0;
};

Connections::Connections(ServiceLog &log, QObject *parent)
    : QObject(parent), m_log(log), m_slots(1), m_loginSweep(new QTimer(this)),
      m_crowdingReport([this] { ReportCrowding(); })
{
    connect(m_loginSweep, &QTimer::timeout, this, &Connections::CloseIdleConnections);
    SetLimits(m_limits);
}

void Connections::SetLimits(const ConnectionLimits &limits)
{
    m_limits = limits;
    m_crowdingReport.SetInterval(limits.refusalReportIntervalMs);
    // A connection is closed at most a quarter of the time-out late.
    m_loginSweep->start(std::max(1, std::min(1000, limits.loginTimeoutMs / 4)));
}

// The sockets go with the table, without close handling.
Connections::~Connections()
{
    for (const auto &slot : m_slots) {
        if (!slot)
            continue;
        disconnect(slot->socket, nullptr, this, nullptr);
        delete slot->socket;
    }
}

void Connections::Listen(QTcpServer &server)
{
    m_server = &server;
    connect(&server, &QTcpServer::newConnection, this, &Connections::wsckTcpServer_ConnectionRequest);
}

void Connections::SetCommandHandler(CommandHandler handler)
{
    m_handler = std::move(handler);
}

// The connections are taken a moment later, not while the server reports
// them: a server whose list of waiting connections is full stops taking
// them from the system and returns to the event loop, so a flood of
// connections cannot keep it from the clients already connected.
void Connections::wsckTcpServer_ConnectionRequest()
{
    if (m_acceptScheduled)
        return;
    m_acceptScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_acceptScheduled = false;
        TakeConnections();
    });
}

void Connections::TakeConnections()
{
    while (m_server->hasPendingConnections()) {
        std::unique_ptr<QTcpSocket> socket(m_server->nextPendingConnection());
        try {
            const QString address = PeerAddressText(*socket);
            if (MakeRoom(address))
                Accept(std::move(socket), address);
            else
                Refuse(std::move(socket));
            if (m_refused + m_evicted > 0)
                m_crowdingReport.Counted();
        } catch (const std::exception &e) {
            // The request is refused: the socket closes as it goes.
            m_log.LogServiceError(describe(e), QStringLiteral("wsckTcpServer_ConnectionRequest"));
        }
    }
}

void Connections::Accept(std::unique_ptr<QTcpSocket> socket, const QString &address)
{
    const qint16 index = FreeSlot();
    QTcpSocket *s = socket.release();
    s->setParent(this);
    s->setReadBufferSize(ReadChunk);
    auto slot = std::make_unique<Slot>();
    slot->socket = s;
    slot->peerAddress = address;
    slot->accepted.start();
    m_slots[static_cast<size_t>(index)] = std::move(slot);
    m_waiting[address].push_back(index);
    ++m_open;
    connect(s, &QTcpSocket::readyRead, this, [this, index, s] { wsckTcpServer_DataArrival(index, s); });
    connect(s, &QTcpSocket::disconnected, this, [this, index, s] { wsckTcpServer_Close(index, s); });
    // A socket that fails is over like one its peer closed.
    connect(s, &QTcpSocket::errorOccurred, this, [this, index, s] {
        if (s->state() == QAbstractSocket::UnconnectedState)
            wsckTcpServer_Close(index, s);
    });
    // A login that came with the connection runs now, before newer
    // connections from the same address can take this one's place.
    pollfd waiting{static_cast<int>(s->socketDescriptor()), POLLIN, 0};
    if (::poll(&waiting, 1, 0) > 0 && (waiting.revents & POLLIN))
        s->waitForReadyRead(0);
}

// Room for one more connection from `address`, made by closing a connection
// that has not logged in: that address's oldest when it has its most, else,
// when the table is full, the oldest of the address with the most. False
// when every connection has logged in. A logged-in one is never closed.
bool Connections::MakeRoom(const QString &address)
{
    if (const auto own = m_waiting.constFind(address);
        own != m_waiting.cend() && std::ssize(*own) >= m_limits.maxWaitingPerAddress) {
        Evict(own->front());
        return true;
    }
    if (m_open < m_limits.maxConnections)
        return true;
    auto busiest = m_waiting.cend();
    for (auto it = m_waiting.cbegin(); it != m_waiting.cend(); ++it)
        if (busiest == m_waiting.cend() || it->size() > busiest->size())
            busiest = it;
    if (busiest == m_waiting.cend())
        return false;
    Evict(busiest->front());
    return true;
}

void Connections::Evict(qint16 index)
{
    ++m_evicted;
    Unload(index, true);
}

// Every connection has logged in and the table is full.
void Connections::Refuse(std::unique_ptr<QTcpSocket> socket)
{
    socket->abort();
    ++m_refused;
}

// At most one report an interval tells how many connections were refused
// or closed to make room, how many are open and who holds them.
void Connections::ReportCrowding()
{
    if (m_refused == 0 && m_evicted == 0)
        return;
    QList<std::pair<qsizetype, QString>> busiest;
    qsizetype waiting = 0;
    for (auto it = m_waiting.cbegin(); it != m_waiting.cend(); ++it) {
        waiting += it->size();
        busiest.append({it->size(), it.key()});
    }
    std::sort(busiest.begin(), busiest.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    QStringList shown;
    for (qsizetype i = 0; i < std::min<qsizetype>(3, busiest.size()); ++i)
        shown << QStringLiteral("%1 (%2)").arg(busiest[i].second).arg(busiest[i].first);
    m_log.LogServiceError(QStringLiteral("%1 connection(s) refused and %2 not logged in closed to make room for new "
                                         "ones: %3 connections are open (at most %4), %5 not logged in; the busiest "
                                         "addresses: %6")
                              .arg(m_refused)
                              .arg(m_evicted)
                              .arg(m_open)
                              .arg(m_limits.maxConnections)
                              .arg(waiting)
                              .arg(shown.isEmpty() ? QStringLiteral("none") : shown.join(QStringLiteral(", "))),
                          QStringLiteral("wsckTcpServer_ConnectionRequest"));
    m_refused = 0;
    m_evicted = 0;
}

// The lowest index that no connection holds among those handed out so far;
// only when all are in use does counting hand out a new one. Scanning every
// index handed out, not only up to the highest one in use, keeps the counter
// from climbing with every reconnection of the last client and so from
// running out of indices after 32767 of them.
qint16 Connections::FreeSlot()
{
    const auto size = static_cast<qint32>(m_slots.size());
    for (qint32 i = 1; i < size; ++i)
        if (!m_slots[static_cast<size_t>(i)])
            return static_cast<qint16>(i);
    ConnectionCounter = std::max(ConnectionCounter, size - 1) + 1;
    if (ConnectionCounter > 32767)
        platform::raiseOverflow();
    m_slots.resize(static_cast<size_t>(ConnectionCounter) + 1);
    return static_cast<qint16>(ConnectionCounter);
}

void Connections::wsckTcpServer_DataArrival(qint16 index, const QTcpSocket *socket)
{
    // A connection with a turn to come reads its data then.
    if (Holds(index, socket) && !Loaded(index).turnScheduled)
        RunTurn(index, socket);
}

// Each message leaves the buffer before it runs, and the next is cut only
// after it has run. A message may end the connection (a refused login);
// what the buffer still holds then goes with it. Data is read from the
// socket only when no whole message is left, so a client that sends faster
// than it is served is held back by TCP, not by the service's memory.
void Connections::RunTurn(qint16 index, const QTcpSocket *socket)
{
    try {
        QElapsedTimer spent;
        spent.start();
        int run = 0;
        while (Holds(index, socket) && run < MessagesPerTurn && (run == 0 || spent.elapsed() < TurnBudgetMs)) {
            Slot &slot = Loaded(index);
            const std::optional<QString> message = slot.ReceiveBuffer.NextMessage();
            if (message) {
                ++run;
                if (m_handler)
                    m_handler(*message, index);
                continue;
            }
            if (slot.ReceiveBuffer.ExceedsLargestMessage()) {
                m_log.LogServiceError(QStringLiteral("Connection %1 sent more than %2 characters without a frame end and is closed")
                                          .arg(index)
                                          .arg(protocol::MaxMessageLength),
                                      QStringLiteral("wsckTcpServer_DataArrival"));
                Unload(index);
                return;
            }
            if (slot.socket->bytesAvailable() <= 0)
                break;
            slot.ReceiveBuffer.Append(platform::codepage::fromAnsi(slot.socket->read(ReadChunk)));
        }
        if (!Holds(index, socket))
            return;
        // The peer's close is handled once all it sent before has run.
        if (HasWork(Loaded(index)))
            ScheduleTurn(index, socket);
        else if (Loaded(index).peerClosed)
            Unload(index);
    } catch (const std::exception &e) {
        m_log.LogServiceError(describe(e), QStringLiteral("wsckTcpServer_DataArrival"));
    }
}

bool Connections::HasWork(const Slot &slot) const
{
    return slot.ReceiveBuffer.Pending().contains(QLatin1Char('|')) || slot.socket->bytesAvailable() > 0;
}

void Connections::ScheduleTurn(qint16 index, const QTcpSocket *socket)
{
    Loaded(index).turnScheduled = true;
    // A millisecond later rather than at once: the event loop first polls
    // the sockets, so what other clients sent during this turn runs before
    // the next one. An event due at once would win that race every time.
    QTimer::singleShot(1, Qt::PreciseTimer, this, [this, index, socket] {
        if (!Holds(index, socket))
            return;
        Loaded(index).turnScheduled = false;
        RunTurn(index, socket);
    });
}

void Connections::wsckTcpServer_Close(qint16 index, const QTcpSocket *socket)
{
    try {
        if (!Holds(index, socket))
            return;
        Loaded(index).peerClosed = true;
        // What arrived just before the close is handled first.
        if (!Loaded(index).turnScheduled)
            RunTurn(index, socket);
    } catch (const std::exception &e) {
        m_log.LogServiceError(describe(e), QStringLiteral("wsckTcpServer_Close"));
    }
}

// Connections that have not logged in within the time-out are closed
// without a report: an idle client is no fault of the service's.
void Connections::CloseIdleConnections()
{
    for (size_t i = 1; i < m_slots.size(); ++i) {
        const Slot *slot = m_slots[i].get();
        if (slot && !slot->loggedIn && slot->accepted.elapsed() >= m_limits.loginTimeoutMs)
            Unload(static_cast<qint16>(i));
    }
}

bool Connections::Exists(qint16 index) const
{
    return Find(index) != nullptr;
}

QString Connections::Tag(qint16 index) const
{
    return Loaded(index).Tag;
}

void Connections::SetTag(qint16 index, const QString &tag)
{
    Loaded(index).Tag = tag;
}

bool Connections::IsConnected(qint16 index) const
{
    return Loaded(index).socket->state() == QAbstractSocket::ConnectedState;
}

bool Connections::PeerGone(qint16 index) const
{
    const Slot &slot = Loaded(index);
    return slot.peerClosed || slot.socket->state() != QAbstractSocket::ConnectedState;
}

void Connections::DroppedAnswer(qint16 index)
{
    ++Loaded(index).droppedAnswers;
}

QString Connections::PeerAddress(qint16 index) const
{
    return Loaded(index).peerAddress;
}

void Connections::SendData(qint16 index, QStringView frame)
{
    LimitUnreadReplies(index, frame.size());
    QTcpSocket *socket = Loaded(index).socket;
    if (socket->bytesToWrite() + frame.size() > m_limits.maxPendingReplyBytes) {
        const QString description = QStringLiteral("Connection %1 from %2 closed: it left %3 bytes of replies unread")
                                        .arg(index)
                                        .arg(Loaded(index).peerAddress)
                                        .arg(socket->bytesToWrite());
        Unload(index, true);
        throw platform::Error(protocol::ErrWrongConnectionState, description);
    }
    protocol::SendData(*socket, frame);
}

// Clients that never read could together take the service's memory: past
// the cap for all, the connection holding the most unread replies is cut
// off, unless it is the one about to get more, which its own cap deals with
// below.
void Connections::LimitUnreadReplies(qint16 sending, qint64 adding)
{
    qint64 total = adding;
    qint16 most = 0;
    qint64 mostBytes = -1;
    for (size_t i = 1; i < m_slots.size(); ++i) {
        if (!m_slots[i])
            continue;
        const qint64 bytes = m_slots[i]->socket->bytesToWrite();
        total += bytes;
        if (bytes > mostBytes) {
            mostBytes = bytes;
            most = static_cast<qint16>(i);
        }
    }
    if (total <= m_limits.maxTotalPendingReplyBytes || most == 0)
        return;
    const QString description = QStringLiteral("Connection %1 from %2 closed: it left %3 bytes of replies unread, the "
                                               "most of all connections, which left %4 bytes unread (at most %5)")
                                    .arg(most)
                                    .arg(Loaded(most).peerAddress)
                                    .arg(mostBytes)
                                    .arg(total - adding)
                                    .arg(m_limits.maxTotalPendingReplyBytes);
    Unload(most, true);
    if (most == sending)
        throw platform::Error(protocol::ErrWrongConnectionState, description);
    m_log.LogServiceError(description, QStringLiteral("SendData"));
}

void Connections::Close(qint16 index)
{
    Loaded(index);
    Unload(index);
}

QList<qint16> Connections::Indices() const
{
    QList<qint16> indices;
    for (size_t i = 1; i < m_slots.size(); ++i)
        if (m_slots[i])
            indices << static_cast<qint16>(i);
    return indices;
}

void Connections::AddOnlineUser(qint16 index, const QString &user)
{
    Slot &slot = Loaded(index);
    if (!slot.loggedIn)
        StopWaiting(slot.peerAddress, index);
    slot.loggedIn = true;
    RemoveOnlineUsers(index);
    m_onlineUsers.append(OnlineUser{user, index});
}

void Connections::StopWaiting(const QString &address, qint16 index)
{
    const auto waiting = m_waiting.find(address);
    if (waiting == m_waiting.end())
        return;
    std::erase(*waiting, index);
    if (waiting->empty())
        m_waiting.erase(waiting);
}

// Only AddOnlineUser sets the mark and only Unload removes the entries, so
// the mark tells whether the connection has an entry.
bool Connections::IsLoggedIn(qint16 index) const
{
    const Slot *slot = Find(index);
    return slot && slot->loggedIn;
}

void Connections::SetAllowFreeNumbers(qint16 index, bool allow)
{
    Loaded(index).AllowFreeNumbers = allow;
}

bool Connections::AllowFreeNumbers(qint16 index) const
{
    return Loaded(index).AllowFreeNumbers;
}

bool Connections::FirstIgnoredRequest(qint16 index)
{
    Slot &slot = Loaded(index);
    return !std::exchange(slot.ignoredRequestReported, true);
}

void Connections::RemoveOnlineUsers(qint16 index)
{
    m_onlineUsers.removeIf([index](const OnlineUser &entry) { return entry.index == index; });
}

// Every way a connection ends comes here: its entries leave OnlineUsers, so
// that none names a free slot, and its slot is free for the next request.
// A connection cut off loses what it has not yet read; any other is given
// time to read it.
void Connections::Unload(qint16 index, bool cutOff)
{
    RemoveOnlineUsers(index);
    const Slot &slot = Loaded(index);
    if (!slot.loggedIn)
        StopWaiting(slot.peerAddress, index);
    else if (slot.droppedAnswers > 0)
        m_log.LogServiceError(QStringLiteral("Connection %1 from %2 (user \"%3\") closed by its peer before %4 "
                                             "request(s) that wanted an answer could run; they were dropped")
                                  .arg(index)
                                  .arg(slot.peerAddress, platform::LogSafeText(slot.Tag))
                                  .arg(slot.droppedAnswers),
                              QStringLiteral("wsckTcpServer_Close"));
    QTcpSocket *socket = slot.socket;
    m_slots[static_cast<size_t>(index)].reset();
    --m_open;
    disconnect(socket, nullptr, this, nullptr);
    if (cutOff)
        socket->abort();
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(CloseGraceMs, socket, &QAbstractSocket::abort);
    socket->disconnectFromHost();
}

Connections::Slot *Connections::Find(qint16 index) const
{
    if (index < 1 || static_cast<size_t>(index) >= m_slots.size())
        return nullptr;
    return m_slots[static_cast<size_t>(index)].get();
}

Connections::Slot &Connections::Loaded(qint16 index) const
{
    Slot *slot = Find(index);
    if (!slot)
        throw platform::Error(ErrNoSuchElement, QStringLiteral("Control array element '%1' doesn't exist").arg(index));
    return *slot;
}

// The slot at `index` still belongs to this socket: a handler that ran a
// command or the event loop may find it closed, or taken by a newer client.
bool Connections::Holds(qint16 index, const QTcpSocket *socket) const
{
    const Slot *slot = Find(index);
    return slot && slot->socket == socket;
}
