#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <optional>

class QTcpSocket;

// The one TCP conversation between the desktop client and the service.
//
// A frame is two hex digits of command code, four hex digits of the data's
// length in characters, the data as hex (two digits of each character's
// ANSI code) and a "|". Only the terminator is a literal "|", so the stream
// is cut at each "|" into messages, and each message is decoded on its own.
namespace protocol {

enum CommandCode : qint16 {
    CMD_LOGIN = 0x01,
    CMD_PHONEBOOK_SEARCH = 0x02,
    CMD_SEND_SMS = 0x03,
    CMD_LOGIN_REPLY = 0x81,
    CMD_PHONEBOOK_RESULT = 0x82,
    CMD_NEW_SMS = 0x85,
};

// The hex conversions count in 16 bits: a receiver decodes at most 32766 hex
// digits (16383 data characters) and a sender encodes at most 32766 data
// characters.
inline constexpr qsizetype MaxDataHexLength = 32766;
// The most data characters a receiver can decode.
inline constexpr qsizetype MaxDataLength = MaxDataHexLength / 2;
// The longest message, without its "|", that a receiver can decode.
inline constexpr qsizetype MaxMessageLength = 6 + MaxDataHexLength;

// One whole frame, "|" included. Raises platform::Error (ErrOverflow) for
// data of more than 32766 characters.
QString PrepareDataToSend(qint16 code, QStringView data);

struct Message {
    qint32 code = 0;
    QString data;
};

// A message cut from the stream (without its "|"). Nothing for a message of
// fewer than 6 characters. The length field only tells empty data from
// data; it is not compared with the data present. Raises platform::Error
// (ErrOverflow) when the hex data is longer than 32766 digits.
std::optional<Message> DecodeMessage(QStringView message);

// Received text not yet cut into messages, one per connection.
class ReceiveBuffer {
public:
    void Append(QStringView text);
    // The text before the first "|", which leaves the buffer with its "|";
    // nothing while no "|" has arrived.
    std::optional<QString> NextMessage();
    // What is waiting for its "|".
    QStringView Pending() const { return QStringView(m_text).mid(m_start); }
    // More is waiting than any decodable message holds: the peer is broken.
    bool ExceedsLargestMessage() const { return Pending().size() > MaxMessageLength; }

private:
    QString m_text;
    // Cut messages are only skipped, and dropped from the text at the next
    // Append, so that a piece holding many messages is cut in linear time.
    qsizetype m_start = 0;
};

// The error a write on a connection raises when the connection cannot take it.
inline constexpr int ErrWrongConnectionState = 40006;

// Writes one frame to a connected socket through the ANSI code page. A
// socket that is not connected cannot take it, and Qt would drop it without
// a word, so that raises platform::Error 40006, as a write that fails does.
void SendData(QTcpSocket &socket, QStringView frame);

} // namespace protocol
