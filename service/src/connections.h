#pragma once

#include "protocol/protocol.h"
#include "servicelog.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QtGlobal>
#include <deque>
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
    // No more connections than this are open, so that the service keeps
    // file descriptors for its databases, queue files and modem. A new one
    // beyond it takes the place of the oldest connection not logged in of
    // the address with the most of them; only when every connection has
    // logged in is it closed at once.
    int maxConnections = DefaultMaxConnections();
    // Connections not logged in from one address: the next one from there
    // takes the place of the oldest, so that whoever keeps the table full
    // cannot keep logins out.
    int maxWaitingPerAddress = 64;
    // Replies a client leaves unread beyond this many bytes close it.
    qint64 maxPendingReplyBytes = 4 * 1024 * 1024;
    // Unread replies of all connections together: past it, the connection
    // holding the most is cut off.
    qint64 maxTotalPendingReplyBytes = 64 * 1024 * 1024;
    // How often refused and replaced connections are reported while it
    // goes on.
    int refusalReportIntervalMs = 60000;

    // 2000, or half the process's file limit when that is lower.
    static int DefaultMaxConnections();
};

// The client connections, in place of a socket array: index 0 is the
// listening socket, 1 and up are accepted connections. A slot is taken from
// a connection's arrival until its close and is then free for the next one.
// Each connection keeps its own `Tag` (the user name once logged in) and
// `ReceiveBuffer`; `OnlineUsers` holds the user and index of each logged-in
// one.
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
    // A logged-in connection: who, and on which index.
    struct OnlineUser {
        QString user;
        qint16 index = 0;
        friend bool operator==(const OnlineUser &, const OnlineUser &) = default;
    };

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
    // The peer has closed its end: an answer can no longer reach it.
    bool PeerGone(qint16 index) const;
    // A request that only wanted an answer was dropped, since the peer has
    // gone; a logged-in connection's close reports how many.
    void DroppedAnswer(qint16 index);
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
    // In login order.
    const QList<OnlineUser> &OnlineUsers() const { return m_onlineUsers; }
    // The connection's one online entry: an earlier login on the same
    // connection is replaced.
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
    void TakeConnections();
    void wsckTcpServer_DataArrival(qint16 index, const QTcpSocket *socket);
    void wsckTcpServer_Close(qint16 index, const QTcpSocket *socket);
    void Accept(std::unique_ptr<QTcpSocket> socket, const QString &address);
    bool MakeRoom(const QString &address);
    void Evict(qint16 index);
    void Refuse(std::unique_ptr<QTcpSocket> socket);
    void ReportCrowding();
    void LimitUnreadReplies(qint16 sending, qint64 adding);
    qint16 FreeSlot();
    void RunTurn(qint16 index, const QTcpSocket *socket);
    bool HasWork(const Slot &slot) const;
    void ScheduleTurn(qint16 index, const QTcpSocket *socket);
    void CloseIdleConnections();
    void RemoveOnlineUsers(qint16 index);
    void StopWaiting(const QString &address, qint16 index);
    void Unload(qint16 index, bool cutOff = false);
    Slot *Find(qint16 index) const;
    Slot &Loaded(qint16 index) const;
    bool Holds(qint16 index, const QTcpSocket *socket) const;

    ServiceLog &m_log;
    CommandHandler m_handler;
    QTcpServer *m_server = nullptr;
    // m_slots[i] is connection i; entry 0 stands for the listening socket.
    std::vector<std::unique_ptr<Slot>> m_slots;
    QList<OnlineUser> m_onlineUsers;
    // Per address, its connections not logged in, oldest first.
    QHash<QString, std::deque<qint16>> m_waiting;
    qint32 ConnectionCounter = 0;
    ConnectionLimits m_limits;
    int m_open = 0;
    QTimer *m_loginSweep;
    int m_refused = 0; // since the last report
    int m_evicted = 0;
    ReportLimiter m_crowdingReport;
    bool m_acceptScheduled = false;
};
