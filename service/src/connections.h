#pragma once

#include "protocol/protocol.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;
class QTimer;
class ServiceLog;

// The bounds that keep clients from starving the service or one another.
struct ConnectionLimits {
    // A connection that has not logged in by then is closed.
    int loginTimeoutMs = 60000;
    // Connections beyond this many are closed as they arrive, so that the
    // service keeps file descriptors for its databases, queue files and modem.
    int maxConnections = DefaultMaxConnections();
    // Replies a client leaves unread beyond this many bytes close it.
    qint64 maxPendingReplyBytes = 4 * 1024 * 1024;
    // How often refused connections are reported while the cap holds.
    int refusalReportIntervalMs = 60000;

    // 2000, or half the process's file limit when that is lower.
    static int DefaultMaxConnections();
};

// The client connections, in place of a socket array: index 0 is the
// listening socket, 1 and up are accepted connections. A slot is taken from
// a connection's arrival until its close and is then free for the next one.
// Each connection keeps its own `Tag` (the user name once logged in) and
// `ReceiveBuffer`; `OnlineUsers` holds "user|index" for each logged-in one.
//
// Operations on an index whose slot is free raise platform::Error 340, so a
// caller holding a stale index fails instead of reaching another client.
//
// A connection's messages run a few at a time; between two turns the event
// loop serves the other connections, so a client that floods requests
// delays its own answers, not everyone else's.
class Connections : public QObject {
    Q_OBJECT
public:
    // Runs one message cut from a connection's stream (without its "|").
    using CommandHandler = std::function<void(const QString &message, qint16 index)>;

    explicit Connections(ServiceLog &log, QObject *parent = nullptr);
    ~Connections() override;

    // From now on every new connection of `server` takes a slot.
    void Listen(QTcpServer &server);
    void SetCommandHandler(CommandHandler handler);
    // The service starts counting slot indices afresh.
    void ResetConnectionCounter() { ConnectionCounter = 0; }
    void SetLimits(const ConnectionLimits &limits);

    bool Exists(qint16 index) const;
    QString Tag(qint16 index) const;
    void SetTag(qint16 index, const QString &tag);
    // The connection is open both ways (Winsock's state 7).
    bool IsConnected(qint16 index) const;
    // The peer's address, IPv4 addresses in their dotted form.
    QString PeerAddress(qint16 index) const;
    // Writes one frame; raises when the connection is not open. A frame that
    // would leave more unread replies waiting than the limit is not written:
    // the connection is cut off and the raised error says why.
    void SendData(qint16 index, QStringView frame);
    // Closes the connection from this side: its online entries go, its slot
    // is freed. No close handling runs for it.
    void Close(qint16 index);

    // The indices of the slots in use, ascending.
    QList<qint16> Indices() const;
    // Entries "user|index" in login order.
    const QStringList &OnlineUsers() const { return m_onlineUsers; }
    // The connection's one online entry is "user|index": an earlier login
    // on the same connection is replaced.
    void AddOnlineUser(qint16 index, const QString &user);
    bool IsLoggedIn(qint16 index) const;
    // What the login told the client: it may send to typed numbers.
    void SetAllowFreeNumbers(qint16 index, bool allow);
    bool AllowFreeNumbers(qint16 index) const;
    // True the first time only, for each connection: requests it sends
    // before logging in are reported once, not once each.
    bool FirstIgnoredRequest(qint16 index);

private:
    struct Slot;

    void wsckTcpServer_ConnectionRequest();
    void wsckTcpServer_DataArrival(qint16 index, const QTcpSocket *socket);
    void wsckTcpServer_Close(qint16 index, const QTcpSocket *socket);
    void Accept(std::unique_ptr<QTcpSocket> socket);
    void Refuse(std::unique_ptr<QTcpSocket> socket);
    qint16 FreeSlot();
    void RunTurn(qint16 index, const QTcpSocket *socket);
    bool HasWork(const Slot &slot) const;
    void ScheduleTurn(qint16 index, const QTcpSocket *socket);
    void CloseIdleConnections();
    void RemoveOnlineUsers(qint16 index);
    void Unload(qint16 index, bool cutOff = false);
    Slot *Find(qint16 index) const;
    Slot &Loaded(qint16 index) const;
    bool Holds(qint16 index, const QTcpSocket *socket) const;

    ServiceLog &m_log;
    CommandHandler m_handler;
    QTcpServer *m_server = nullptr;
    // m_slots[i] is connection i; entry 0 stands for the listening socket.
    std::vector<std::unique_ptr<Slot>> m_slots;
    QStringList m_onlineUsers;
    qint32 ConnectionCounter = 0;
    ConnectionLimits m_limits;
    int m_open = 0;
    QTimer *m_loginSweep;
    QElapsedTimer m_lastRefusalReport;
    int m_unreportedRefusals = 0;
};
