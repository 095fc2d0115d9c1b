#include "clientconnection/serviceconnection.h"

#include "common/errorlog.h"
#include "common/md5.h"
#include "platform/codepage.h"
#include "platform/convert.h"
#include "platform/error.h"
#include "platform/inifile.h"
#include "sealkit/clscipherbase.h"
#include "textkit/clsstring.h"

#include <QScopeGuard>
#include <QTcpSocket>
#include <algorithm>

namespace {

const QString ModuleName = QStringLiteral("frmMain");
const QString Dot = QStringLiteral(".");
constexpr int ErrOutOfBounds = 7;

// English letters, digits, and Backspace, which the user-name box let through.
bool IsAllowedInUserName(QChar c)
{
    const unsigned char code = platform::codepage::ansiCode(c);
    return (code >= 65 && code <= 90) || (code >= 97 && code <= 122) || (code >= 48 && code <= 57) || code == 8;
}

// The second field of the login reply; what is no 16-bit number counts 0.
qint16 FreeNumbersField(const QString &field)
{
    try {
        return platform::ToInteger(field);
    } catch (const platform::Error &) {
        return 0;
    }
}

} // namespace

ServiceConnection::ServiceConnection(QObject *parent) : QObject(parent)
{
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, &ServiceConnection::wClient_Error);
}

ServiceConnection::~ServiceConnection()
{
    DropSocket();
}

// Our own close raises no event: the old socket's signals go first.
void ServiceConnection::DropSocket()
{
    m_connectTimer.stop();
    if (!m_socket)
        return;
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    // A box's event loop inside the socket's own arrival would destroy it
    // there, under the signal Qt is still emitting: that socket goes when
    // its arrival has been handled.
    if (socket == m_arriving)
        m_arrivingDropped = true;
    else
        socket->deleteLater();
}

bool ServiceConnection::Login(const QString &userNameBox, const QString &passwordBox, bool savePasswordTicked)
{
    try {
        // A refused name leaves the current login, and the name it has, as
        // they were.
        if (!std::all_of(userNameBox.cbegin(), userNameBox.cend(), IsAllowedInUserName)) {
            Q_EMIT Alert(QStringLiteral("use_only_english_characters"), QString());
            return false;
        }
        UserName = userNameBox;
        if (PasswordDigest.isEmpty() || passwordBox != PasswordDigest)
            PasswordDigest = common::PasswordDigest(passwordBox);
        SavePassword = savePasswordTicked;

        DropSocket();
        LoggedIn = false;
        LoginPending = false;
        // Half a frame of the last connection belongs to no message of this one.
        ReceiveBuffer = protocol::ReceiveBuffer();
        if (ServerPort < 1 || ServerPort > 65535) {
            Q_EMIT Alert(QStringLiteral("connection_failed"), Dot);
            return true;
        }
        m_socket = new QTcpSocket(this);
        // What waits in Qt's buffer stays within one longest frame, so a
        // peer that never ends a frame costs bounded memory.
        m_socket->setReadBufferSize(MaxPendingText + 1);
        connect(m_socket, &QTcpSocket::connected, this, &ServiceConnection::wClient_Connect);
        connect(m_socket, &QTcpSocket::readyRead, this, &ServiceConnection::wClient_DataArrival);
        connect(m_socket, &QTcpSocket::disconnected, this, &ServiceConnection::wClient_Close);
        connect(m_socket, &QTcpSocket::errorOccurred, this,
                [this](QAbstractSocket::SocketError error) { OnSocketError(error); });
        m_connectTimer.start(ConnectTimeoutMs);
        m_socket->connectToHost(ServerIP, static_cast<quint16>(ServerPort));
    } catch (...) {
        common::LogError(ModuleName, QStringLiteral("imgButton_Click"));
    }
    return true;
}

void ServiceConnection::SendRequest(qint16 code, const QString &data)
{
    if (!m_socket)
        throw platform::Error(protocol::ErrWrongConnectionState,
                              QStringLiteral("Wrong protocol or connection state for the requested transaction or request"));
    protocol::SendData(*m_socket, protocol::PrepareDataToSend(code, data));
}

void ServiceConnection::wClient_Connect()
{
    m_connectTimer.stop();
    try {
        SendRequest(protocol::CMD_LOGIN, UserName + QLatin1Char('^') + PasswordDigest);
        LoginPending = true;
    } catch (...) {
        common::LogError(ModuleName, QStringLiteral("wClient_Connect"));
    }
}

void ServiceConnection::wClient_DataArrival()
{
    try {
        if (!m_socket)
            return;
        ReceiveBuffer.Append(platform::codepage::fromAnsi(m_socket->readAll()));
        if (m_cutting)
            return;
        m_cutting = true;
        m_arriving = m_socket;
        const auto done = qScopeGuard([this] {
            m_cutting = false;
            QTcpSocket *arrived = std::exchange(m_arriving, nullptr);
            if (std::exchange(m_arrivingDropped, false))
                arrived->deleteLater();
        });
        // Qt does not signal again what arrives while a handler runs its
        // own event loop: that waits in the socket and is taken here.
        for (;;) {
            while (const auto message = ReceiveBuffer.NextMessage())
                ExecuteCommand(*message);
            if (ReceiveBuffer.Pending().size() > MaxPendingText) {
                CloseOverflowingConnection();
                return;
            }
            if (!m_socket || m_socket->bytesAvailable() == 0)
                break;
            ReceiveBuffer.Append(platform::codepage::fromAnsi(m_socket->readAll()));
        }
    } catch (...) {
        common::LogError(ModuleName, QStringLiteral("wClient_DataArrival"));
    }
}

// More text without a frame end than the longest frame: the peer is no
// service of ours, or broken. Logged, and the connection counts as lost.
void ServiceConnection::CloseOverflowingConnection()
{
    try {
        throw platform::Error(ErrOutOfBounds, QStringLiteral("The service sent more than %1 characters without a frame end; "
                                                             "the connection is closed").arg(MaxPendingText));
    } catch (const platform::Error &) {
        common::WriteErrorEntry(ModuleName, QStringLiteral("wClient_DataArrival"));
    }
    wClient_Close();
    ReceiveBuffer = protocol::ReceiveBuffer();
}

void ServiceConnection::ExecuteCommand(const QString &message)
{
    try {
        const auto decoded = protocol::DecodeMessage(message);
        if (!decoded)
            return;
        switch (decoded->code) {
        case protocol::CMD_LOGIN_REPLY:
            HandleLoginReply(decoded->data);
            break;
        case protocol::CMD_PHONEBOOK_RESULT:
            Q_EMIT PhonebookResult(decoded->data);
            break;
        case protocol::CMD_NEW_SMS:
            Q_EMIT NewSMS(decoded->data);
            break;
        default:
            break;
        }
    } catch (...) {
        common::LogError(ModuleName, QStringLiteral("ExecuteCommand"));
    }
}

void ServiceConnection::HandleLoginReply(const QString &data)
{
    if (!LoginPending)
        return;
    LoginPending = false;
    const QStringList fields = sealkit::clsCipherBase()
                                   .Decrypt(textkit::clsString::CHex2Str(data), false)
                                   .split(QLatin1Char('|'));
    if (fields.size() < 2 || fields[0] != QStringLiteral("(Connected)")) {
        LoggedIn = false;
        Q_EMIT Alert(QStringLiteral("login_failed"), Dot);
        return;
    }
    LoggedIn = true;
    // The settings are a convenience: a file that cannot be written is
    // reported, and the login goes on.
    try {
        WriteLoginSettings();
    } catch (...) {
        common::LogError(ModuleName, QStringLiteral("ExecuteCommand"));
    }
    AllowFreeNumbers = FreeNumbersField(fields[1]);
    Q_EMIT LoginAccepted();
}

// The name that logged in. A password the user chose not to keep leaves
// the file at once rather than at the next save of the settings page.
void ServiceConnection::WriteLoginSettings()
{
    platform::IniFile settings;
    settings.setIniPath(SettingsPath);
    const QString section = QStringLiteral("SMSClient");
    settings.WriteValue(section, QStringLiteral("UserName"), UserName);
    if (!SavePassword) {
        settings.WriteValue(section, QStringLiteral("Password"), QString());
        settings.WriteValue(section, QStringLiteral("SavePassword"), QStringLiteral("0"));
    }
}

void ServiceConnection::wClient_Close()
{
    // The service's last messages may come with its close while a box of an
    // earlier one is open, when Qt has not signalled them: they are taken
    // before the socket goes, not dropped with it.
    wClient_DataArrival();
    if (!m_socket)
        return;
    try {
        DropSocket();
        if (LoginPending) {
            // The service answers a refused login by closing the connection.
            LoginPending = false;
            Q_EMIT Alert(QStringLiteral("login_failed"), Dot);
        } else {
            Q_EMIT Alert(QStringLiteral("connection_lost"), Dot);
        }
        LoggedIn = false;
    } catch (...) {
        common::LogError(ModuleName, QStringLiteral("wClient_Close"));
    }
}

void ServiceConnection::wClient_Error()
{
    try {
        DropSocket();
        LoginPending = false;
        LoggedIn = false;
        Q_EMIT Alert(QStringLiteral("connection_failed"), Dot);
    } catch (...) {
        common::LogError(ModuleName, QStringLiteral("wClient_Error"));
    }
}

// The peer's close is reported as an error first and then as the end of
// the connection, which is handled as the close.
void ServiceConnection::OnSocketError(int error)
{
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    wClient_Error();
}
