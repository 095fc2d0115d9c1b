#pragma once

#include "protocol/protocol.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QtGlobal>

class QTcpSocket;

// The client's one connection to the service: the login, the state it
// leaves, and the messages the service sends. A new login always starts a
// new connection on a new socket.
class ServiceConnection : public QObject {
    Q_OBJECT
public:
    // The longest text that may wait for its "|": the longest frame the
    // service can send. Anything longer comes from a broken peer.
    static constexpr qsizetype MaxPendingText = 6 + 2 * protocol::MaxDataHexLength;
    // A connect that has not completed by then has failed.
    static constexpr int DefaultConnectTimeoutMs = 20000;

    explicit ServiceConnection(QObject *parent = nullptr);
    ~ServiceConnection() override;

    QString UserName;
    QString PasswordDigest;
    bool SavePassword = false;
    QString ServerIP;
    qint32 ServerPort = 4500;
    bool LoginPending = false;
    bool LoggedIn = false;
    qint16 AllowFreeNumbers = 0;
    // The client's settings file, which an accepted login writes to.
    QString SettingsPath;
    int ConnectTimeoutMs = DefaultConnectTimeoutMs;

    // The login action, with what the login page holds. A user name of
    // other characters than English letters and digits is refused with an
    // alert and nothing is sent; otherwise the current connection is closed
    // and a new one is made. False for a refused name: then nothing of the
    // connection has changed.
    bool Login(const QString &userNameBox, const QString &passwordBox, bool savePasswordTicked);

    // Sends one request on the current connection. Raises platform::Error:
    // 40006 when the connection is not open, 6 for data too long to frame.
    void SendRequest(qint16 code, const QString &data);

    // The socket of the current attempt; null when there is none.
    QTcpSocket *wClient() const { return m_socket; }

    void ExecuteCommand(const QString &message);

Q_SIGNALS:
    // An alert for the user: the language text of `key`, then `suffix`.
    void Alert(const QString &key, const QString &suffix);
    // The login was accepted: LoggedIn, UserName and AllowFreeNumbers are
    // set and the settings are written.
    void LoginAccepted();
    void PhonebookResult(const QString &data);
    // A message the service pushed: the hex text of its enciphered line.
    void NewSMS(const QString &data);

private:
    void wClient_Connect();
    void wClient_DataArrival();
    void wClient_Close();
    void wClient_Error();
    void OnSocketError(int error);
    void CloseOverflowingConnection();
    void HandleLoginReply(const QString &data);
    void WriteLoginSettings();
    void DropSocket();

    QTcpSocket *m_socket = nullptr;
    QTimer m_connectTimer;
    protocol::ReceiveBuffer ReceiveBuffer;
    // Set while messages are being cut and handled; an arrival in the
    // middle (from a box's own event loop) only appends, so order is kept.
    bool m_cutting = false;
    // The socket whose arrival is being handled, and whether it has been
    // dropped since.
    QTcpSocket *m_arriving = nullptr;
    bool m_arrivingDropped = false;
};
