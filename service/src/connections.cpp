#include "connections.h"

#include "servicelog.h"

#include "platform/codepage.h"
#include "platform/error.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <exception>

using platform::describe;

namespace {

constexpr int ErrNoSuchElement = 340;

// What is read from a socket at a time, and all that Qt buffers for it, so
// that a client sending without end costs a bounded amount of memory.
constexpr qint64 ReadChunk = protocol::MaxMessageLength + 1;
// A connection closed from this side gets this long to write what it still
// holds before it is cut off.
constexpr int CloseGraceMs = 10000;

QString EntrySuffix(qint16 index)
{
    return QLatin1Char('|') + QString::number(index);
}

} // namespace

struct Connections::Slot {
    QTcpSocket *socket = nullptr;
    QString Tag;
    protocol::ReceiveBuffer ReceiveBuffer;
};

Connections::Connections(ServiceLog &log, QObject *parent) : QObject(parent), m_log(log), m_slots(1) {}

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

void Connections::wsckTcpServer_ConnectionRequest()
{
    while (m_server->hasPendingConnections()) {
        std::unique_ptr<QTcpSocket> socket(m_server->nextPendingConnection());
        try {
            Accept(std::move(socket));
        } catch (const std::exception &e) {
            // The request is refused: the socket closes as it goes.
            m_log.LogServiceError(describe(e), QStringLiteral("wsckTcpServer_ConnectionRequest"));
        }
    }
}

void Connections::Accept(std::unique_ptr<QTcpSocket> socket)
{
    const qint16 index = FreeSlot();
    QTcpSocket *s = socket.release();
    s->setParent(this);
    s->setReadBufferSize(ReadChunk);
    auto slot = std::make_unique<Slot>();
    slot->socket = s;
    m_slots[static_cast<size_t>(index)] = std::move(slot);
    connect(s, &QTcpSocket::readyRead, this, [this, index, s] { wsckTcpServer_DataArrival(index, s); });
    connect(s, &QTcpSocket::disconnected, this, [this, index, s] { wsckTcpServer_Close(index, s); });
    // A socket that fails is over like one its peer closed.
    connect(s, &QTcpSocket::errorOccurred, this, [this, index, s] {
        if (s->state() == QAbstractSocket::UnconnectedState)
            wsckTcpServer_Close(index, s);
    });
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
    try {
        while (Holds(index, socket) && socket->bytesAvailable() > 0) {
            Slot &slot = Loaded(index);
            slot.ReceiveBuffer.Append(platform::codepage::fromAnsi(slot.socket->read(ReadChunk)));
            CutMessages(index, socket);
        }
    } catch (const std::exception &e) {
        m_log.LogServiceError(describe(e), QStringLiteral("wsckTcpServer_DataArrival"));
    }
}

// Each message leaves the buffer before it runs, and the next is cut only
// after it has run. A message may end the connection (a refused login);
// what the buffer still holds then goes with it.
void Connections::CutMessages(qint16 index, const QTcpSocket *socket)
{
    while (Holds(index, socket)) {
        const std::optional<QString> message = Loaded(index).ReceiveBuffer.NextMessage();
        if (!message)
            break;
        if (m_handler)
            m_handler(*message, index);
    }
    if (!Holds(index, socket) || !Loaded(index).ReceiveBuffer.ExceedsLargestMessage())
        return;
    m_log.LogServiceError(QStringLiteral("Connection %1 sent more than %2 characters without a frame end and is closed")
                              .arg(index)
                              .arg(protocol::MaxMessageLength),
                          QStringLiteral("wsckTcpServer_DataArrival"));
    Unload(index);
}

void Connections::wsckTcpServer_Close(qint16 index, const QTcpSocket *socket)
{
    try {
        // What arrived just before the close is handled first.
        wsckTcpServer_DataArrival(index, socket);
        if (Holds(index, socket))
            Unload(index);
    } catch (const std::exception &e) {
        m_log.LogServiceError(describe(e), QStringLiteral("wsckTcpServer_Close"));
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

void Connections::SendData(qint16 index, QStringView frame)
{
    protocol::SendData(*Loaded(index).socket, frame);
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
    Loaded(index);
    RemoveOnlineUsers(index);
    m_onlineUsers << user + EntrySuffix(index);
}

bool Connections::IsLoggedIn(qint16 index) const
{
    const QString suffix = EntrySuffix(index);
    return std::any_of(m_onlineUsers.cbegin(), m_onlineUsers.cend(),
                       [&suffix](const QString &entry) { return entry.endsWith(suffix); });
}

void Connections::RemoveOnlineUsers(qint16 index)
{
    const QString suffix = EntrySuffix(index);
    m_onlineUsers.removeIf([&suffix](const QString &entry) { return entry.endsWith(suffix); });
}

// Every way a connection ends comes here: its entries leave OnlineUsers, so
// that none names a free slot, and its slot is free for the next request.
void Connections::Unload(qint16 index)
{
    RemoveOnlineUsers(index);
    QTcpSocket *socket = Loaded(index).socket;
    m_slots[static_cast<size_t>(index)].reset();
    disconnect(socket, nullptr, this, nullptr);
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
