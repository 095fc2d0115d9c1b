// The compose page: the header and the counter of the message box, the
// number box's filter, the recipients' layout, and the send.
#include "frmmain.h"

#include "headertextedit.h"
#include "pages.h"
#include "uflist.h"

#include "common/errorlog.h"
#include "common/language.h"
#include "gui/arbutton.h"
#include "platform/codepage.h"
#include "platform/convert.h"
#include "platform/error.h"
#include "protocol/protocol.h"
#include "vorbex/modpdu.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTcpSocket>

#include <algorithm>

namespace {

constexpr int ErrWrongConnectionState = 40006;

QString Text(const char *key)
{
    return common::LanguageText(QLatin1String(key));
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
QString SentText(const QString &boxText, qsizetype headerLength)
{
    const QString body = boxText.size() > headerLength ? boxText.mid(headerLength) : QString();
    return modPDU::TextAsSent(boxText.left(headerLength) + MessageTextOf(body));
}

bool FitsOneSms(const QString &sent)
{
    return modPDU::OneSmsCoding(sent) != modPDU::SmsCoding::TooLong;
}

// The typed numbers as the service takes them apart: it trims the blanks
// at the ends of the whole text and splits it at ",".
QStringList TypedNumbersOf(const QString &manualNumbers)
{
    return platform::TrimBlanks(manualNumbers).split(QLatin1Char(','));
}

bool AllTypedNumbersValid(const QString &manualNumbers)
{
    const QStringList pieces = TypedNumbersOf(manualNumbers);
    return std::all_of(pieces.cbegin(), pieces.cend(),
                       [](const QString &piece) { return piece.isEmpty() || modPDU::IsValidPhoneNumber(piece); });
}

// The page's layout for a recipient list with or without entries.
struct ComposeLayout {
    bool listVisible;
    int labelTop;
    int messageHeight;
};
constexpr ComposeLayout WithRecipients{true, 112, 114};
constexpr ComposeLayout WithoutRecipients{false, 48, 174};
constexpr int LabelHeight = 17;

} // namespace

void frmMain::ConnectComposeHandlers()
{
    HeaderTextEdit *message = pageNewSMS->txtMessage;
    connect(message, &QTextEdit::textChanged, this, &frmMain::txtMessage_Change);
    pageNewSMS->txtPhoneNumber->installEventFilter(this);
    connect(pageNewSMS->uflContacts, &ucUFList::Changed, this, &frmMain::uflContacts_Changed);
    connect(pageNewSMS->imgPhonebookButton, &gui::ARButton::clicked, this, [this] { ShowPage(7); });
    ConnectPhonebookHandlers();
}

void frmMain::PrepareNewSMSMessage()
{
    pageNewSMS->txtMessage->PutHeader(connection->UserName);
    txtMessage_Change();
}

void frmMain::txtMessage_Change()
{
    try {
        HeaderTextEdit *box = pageNewSMS->txtMessage;
        const QString text = box->PlainText();
        const QString sent = SentText(text, box->HeaderLength);
        QLabel *counter = pageNewSMS->lblFreeCharacters;
        counter->setText(QStringLiteral("%1/%2").arg(text.size()).arg(modPDU::OneSmsLimit(sent)));
        QPalette palette = counter->palette();
        palette.setColor(QPalette::WindowText, FitsOneSms(sent) ? QColor(Qt::black) : QColor(192, 0, 0));
        counter->setPalette(palette);
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("txtMessage_Change"));
    }
}

bool frmMain::txtPhoneNumber_KeyPress(const QKeyEvent &event) const
{
    const QString typed = event.text();
    // Keys that type nothing, Delete, and those that move the focus or
    // leave the window, are no characters of the box.
    if (typed.isEmpty() || event.key() == Qt::Key_Delete || event.key() == Qt::Key_Tab
        || event.key() == Qt::Key_Backtab || event.key() == Qt::Key_Escape)
        return true;
    if (typed.size() != 1)
        return false;
    const QChar c = typed.front();
    return c == QLatin1Char('+') || c == QLatin1Char(',') || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        || c == QChar(8);
}

void frmMain::uflContacts_Changed()
{
    try {
        const ComposeLayout &layout = pageNewSMS->uflContacts->EntryCount() > 0 ? WithRecipients : WithoutRecipients;
        pageNewSMS->uflContacts->setVisible(layout.listVisible);
        QLabel *label = pageNewSMS->lblNewSMS[1];
        label->move(label->x(), layout.labelTop);
        HeaderTextEdit *message = pageNewSMS->txtMessage;
        message->setGeometry(message->x(), layout.labelTop + LabelHeight, message->width(), layout.messageHeight);
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("uflContacts_Changed"));
    }
}

void frmMain::SendSMS()
{
    HeaderTextEdit *box = pageNewSMS->txtMessage;
    QLineEdit *numberBox = pageNewSMS->txtPhoneNumber;
    ucUFList *recipients = pageNewSMS->uflContacts;
    const QString text = box->PlainText();
    const QString body = text.size() > box->HeaderLength ? text.mid(box->HeaderLength) : QString();
    const QString messageText = MessageTextOf(body);
    const QString manualNumbers = ManualNumbersOf(numberBox->text());

    if (!FitsOneSms(SentText(text, box->HeaderLength))) {
        ShowAlert(Text("message_is_too_long") + QLatin1Char('.'));
        return;
    }
    // A body of nothing but "^" and "|" would go out empty.
    if (messageText.isEmpty() || (numberBox->text().isEmpty() && recipients->EntryCount() == 0)) {
        ShowAlert(Text("phonenumber_or_message_is_empty") + QLatin1Char('.'));
        return;
    }
    // The request travels in the code page: anything else would arrive as "?".
    if (!platform::codepage::canEncode(messageText)) {
        ShowAlert(Text("message_has_unsupported_characters") + QLatin1Char('.'));
        return;
    }
    // The service hands typed numbers to the modem as they are: one it
    // cannot send to would be set aside as failed after "sent".
    if (!AllTypedNumbersValid(manualNumbers)) {
        ShowAlert(Text("phonenumber_is_not_valid") + QLatin1Char('.'));
        return;
    }

    const QString data = manualNumbers + QLatin1Char('^') + recipients->SelectionText()
        + QLatin1Char('^') + messageText;
    QTcpSocket *socket = connection->wClient();
    if (!LoggedIn || !socket || socket->state() != QAbstractSocket::ConnectedState)
        throw platform::Error(ErrWrongConnectionState, QStringLiteral("Not connected to the service: nothing was sent"));
    // The service cannot decode longer data and would drop the request.
    if (data.size() > protocol::MaxDataLength)
        throw platform::Error(platform::ErrOverflow,
                              QStringLiteral("The numbers, recipients and text make %1 characters; at most %2 can be sent")
                                  .arg(data.size())
                                  .arg(protocol::MaxDataLength));
    const QString frame = protocol::PrepareDataToSend(protocol::CMD_SEND_SMS, data);

    // One sent copy per recipient, and only for a request that leaves. A
    // copy that cannot be written is reported and the message still goes:
    // losing the copy is better than losing the message.
    SmsCollection copies;
    QString firstFailure;
    const auto keepCopy = [&](const QString &recipient) {
        try {
            copies << store.NewSMSSave(connection->UserName, recipient, messageText, QDateTime::currentDateTime());
        } catch (...) {
            const QString failure = common::WriteErrorEntry(QStringLiteral("frmMain"), QStringLiteral("NewSMSSave"));
            if (firstFailure.isEmpty())
                firstFailure = failure;
        }
    };
    try {
        // An empty box holds no number; an empty piece between commas is one.
        const QStringList numbers = numberBox->text().isEmpty() ? QStringList() : numberBox->text().split(QLatin1Char(','));
        for (const QString &number : numbers)
            keepCopy(number);
        for (qint32 i = 0; i < recipients->EntryCount(); ++i)
            keepCopy(recipients->EntryKind(i) == 0 ? recipients->ContactEntryLabel(i) : recipients->GroupEntryLabel(i));
        protocol::SendData(*socket, frame);
    } catch (...) {
        for (const SmsRef &copy : std::as_const(copies)) {
            try {
                store.Delete(copy);
            } catch (...) {
                common::WriteErrorEntry(QStringLiteral("frmMain"), QStringLiteral("imgButton_Click"));
            }
        }
        throw;
    }

    numberBox->clear();
    PrepareNewSMSMessage();
    recipients->ClearEntries();
    ShowAlert(Text("sms_sent"));
    // One box for the copies that could not be kept, once the message is on its way.
    if (!firstFailure.isEmpty())
        common::ShowErrorBox(firstFailure);
}
