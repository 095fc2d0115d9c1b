#include "protocol/protocol.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "textkit/clsstring.h"

#include <QTcpSocket>

using textkit::clsString;

namespace protocol {

namespace {

QString UpperHex(quint32 value)
{
    return QString::number(value, 16).toUpper();
}

} // namespace

QString PrepareDataToSend(qint16 code, QStringView data)
{
    const QString dataHex = clsString::CStr2Hex(data);
    const QString dataLength = UpperHex(static_cast<quint32>(data.size())).rightJustified(4, QLatin1Char('0'));
    const QString commandCode = clsString::ZeroPad(UpperHex(static_cast<quint16>(code)), 2);
    return commandCode + dataLength + dataHex + QLatin1Char('|');
}

std::optional<Message> DecodeMessage(QStringView message)
{
    if (message.size() < 6)
        return std::nullopt;
    Message decoded;
    decoded.code = clsString::CHex2Lng(message.first(2));
    const qint32 length = clsString::CHex2Lng(message.mid(2, 4));
    if (message.size() > 6 && length != 0)
        decoded.data = clsString::CHex2Str(message.mid(6));
    return decoded;
}

void ReceiveBuffer::Append(QStringView text)
{
    m_text.remove(0, m_start);
    m_start = 0;
    m_text.append(text);
}

std::optional<QString> ReceiveBuffer::NextMessage()
{
    const qsizetype end = m_text.indexOf(QLatin1Char('|'), m_start);
    if (end < 0)
        return std::nullopt;
    QString message = m_text.mid(m_start, end - m_start);
    m_start = end + 1;
    if (m_start == m_text.size()) {
        m_text.clear();
        m_start = 0;
    }
    return message;
}

void SendData(QTcpSocket &socket, QStringView frame)
{
    if (socket.state() != QAbstractSocket::ConnectedState)
        throw platform::Error(ErrWrongConnectionState,
                              QStringLiteral("Wrong protocol or connection state for the requested transaction or request"));
    if (socket.write(platform::codepage::toAnsi(frame)) < 0)
        throw platform::Error(ErrWrongConnectionState, socket.errorString());
}

} // namespace protocol
