#include "clientoutbox/outbox.h"

#include "clientconnection/serviceconnection.h"
#include "clientstore/messagestore.h"
#include "common/errorlog.h"
#include "platform/codepage.h"
#include "platform/convert.h"
#include "platform/error.h"
#include "protocol/protocol.h"
#include "vorbex/modpdu.h"

#include <QDateTime>

#include <algorithm>

namespace {

const QString ModuleName = QStringLiteral("frmMain");

QString BodyOf(const QString &text, qsizetype headerLength)
{
    return text.size() > headerLength ? text.mid(headerLength) : QString();
}

// The message as it travels: "^" and "|" cannot (they separate fields and
// stand for line breaks), and each line break is written "|".
QString MessageTextOf(QString body)
{
    body.remove(QLatin1Char('^'));
    body.remove(QLatin1Char('|'));
    body.replace(QLatin1Char('\n'), QLatin1Char('|'));
    return body;
}

QString ManualNumbersOf(QString numbers)
{
    numbers.remove(QLatin1Char('^'));
    numbers.remove(QLatin1Char('|'));
    return numbers;
}

// The header and the message as the modem will send them: the counter
// and the send both judge this text, so they cannot disagree.
QString SentText(const QString &text, qsizetype headerLength)
{
    return modPDU::TextAsSent(text.left(headerLength) + MessageTextOf(BodyOf(text, headerLength)));
}

bool FitsOneSms(const QString &sent)
{
    return modPDU::OneSmsCoding(sent) != modPDU::SmsCoding::TooLong;
}

// The typed numbers as the service takes them apart: it trims the blanks
// at the ends of the whole text and splits it at ",".
bool AllTypedNumbersValid(const QString &manualNumbers)
{
    const QStringList pieces = platform::TrimBlanks(manualNumbers).split(QLatin1Char(','));
    return std::all_of(pieces.cbegin(), pieces.cend(),
                       [](const QString &piece) { return piece.isEmpty() || modPDU::IsValidPhoneNumber(piece); });
}

} // namespace

SmsCounter CountSms(const QString &text, qsizetype headerLength)
{
    const QString sent = SentText(text, headerLength);
    return {text.size(), modPDU::OneSmsLimit(sent), !FitsOneSms(sent)};
}

Outbox::Outbox(ServiceConnection &connection, MessageStore &store) : m_connection(connection), m_store(store) {}

QString Outbox::Send(const OutgoingSms &sms)
{
    const QString messageText = MessageTextOf(BodyOf(sms.text, sms.headerLength));
    const QString manualNumbers = ManualNumbersOf(sms.typedNumbers);

    if (!FitsOneSms(SentText(sms.text, sms.headerLength)))
        return QStringLiteral("message_is_too_long");
    // A body of nothing but "^" and "|" would go out empty.
    if (messageText.isEmpty() || (sms.typedNumbers.isEmpty() && sms.entryLabels.isEmpty()))
        return QStringLiteral("phonenumber_or_message_is_empty");
    // The request travels in the code page: anything else would arrive as "?".
    if (!platform::codepage::canEncode(messageText))
        return QStringLiteral("message_has_unsupported_characters");
    // The service hands typed numbers to the modem as they are: one it
    // cannot send to would be set aside as failed after "sent".
    if (!AllTypedNumbersValid(manualNumbers))
        return QStringLiteral("phonenumber_is_not_valid");

    const QString data = manualNumbers + QLatin1Char('^') + sms.selectedEntries + QLatin1Char('^') + messageText;
    if (!m_connection.LoggedIn)
        throw platform::Error(protocol::ErrWrongConnectionState, QStringLiteral("Not connected to the service: nothing was sent"));
    // The service cannot decode longer data and would drop the request.
    if (data.size() > protocol::MaxDataLength)
        throw platform::Error(platform::ErrOverflow,
                              QStringLiteral("The numbers, recipients and text make %1 characters; at most %2 can be sent")
                                  .arg(data.size())
                                  .arg(protocol::MaxDataLength));

    // One sent copy per recipient, and only for a request that leaves. A
    // copy that cannot be written is reported and the message still goes:
    // losing the copy is better than losing the message.
    SmsCollection copies;
    QString firstFailure;
    const auto keepCopy = [&](const QString &recipient) {
        try {
            copies << m_store.NewSMSSave(m_connection.UserName, recipient, messageText, QDateTime::currentDateTime());
        } catch (...) {
            const QString failure = common::WriteErrorEntry(ModuleName, QStringLiteral("NewSMSSave"));
            if (firstFailure.isEmpty())
                firstFailure = failure;
        }
    };
    try {
        // An empty box holds no number; an empty piece between commas is one.
        const QStringList numbers = sms.typedNumbers.isEmpty() ? QStringList() : sms.typedNumbers.split(QLatin1Char(','));
        for (const QString &number : numbers)
            keepCopy(number);
        for (const QString &label : sms.entryLabels)
            keepCopy(label);
        m_connection.SendRequest(protocol::CMD_SEND_SMS, data);
    } catch (...) {
        for (const SmsRef &copy : std::as_const(copies)) {
            try {
                m_store.Delete(copy);
            } catch (...) {
                common::WriteErrorEntry(ModuleName, QStringLiteral("imgButton_Click"));
            }
        }
        throw;
    }
    // One box for the copies that could not be kept, once the message is on its way.
    if (!firstFailure.isEmpty())
        common::ShowErrorBox(firstFailure);
    return QString();
}
