// Page 1: a new message. The header and the counter of the message box,
// the number box's filter, the recipients' layout; the send goes through
// the outbox.
#include "pages.h"

#include "frmmain.h"
#include "headertextedit.h"
#include "pageparts.h"
#include "uflist.h"

#include "clientoutbox/outbox.h"
#include "common/language.h"
#include "gui/arbutton.h"
#include "gui/place.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

using gui::Place;

namespace {

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

PageNewSMS::PageNewSMS(frmMain &owner) : QWidget(&owner), m_owner(owner)
{
    lblNewSMS[0] = PlaceLabel(this, Indexed("lblNewSMS", 0), 8, 4, 206, 16);
    txtPhoneNumber = Place<QLineEdit>(this, QStringLiteral("txtPhoneNumber"), 8, 21, 206, 24);
    imgPhonebookButton = PlaceGlyphButton(this, QStringLiteral("imgPhonebookButton"), 218, 20, "phonebook");
    uflContacts = Place<ucUFList>(this, QStringLiteral("uflContacts"), 8, 50, 238, 58);
    uflContacts->hide();
    // Moved down below the recipients while the list shows.
    lblNewSMS[1] = PlaceLabel(this, Indexed("lblNewSMS", 1), 8, 48, 238, 16);
    txtMessage = Place<HeaderTextEdit>(this, QStringLiteral("txtMessage"), 8, 65, 238, 174);
    lblFreeCharacters = PlaceLabel(this, QStringLiteral("lblFreeCharacters"), 8, 243, 238, 18);
    lblFreeCharacters->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    connect(txtMessage, &QTextEdit::textChanged, this, &PageNewSMS::txtMessage_Change);
    txtPhoneNumber->installEventFilter(this);
    connect(uflContacts, &ucUFList::Changed, this, &PageNewSMS::uflContacts_Changed);
    connect(imgPhonebookButton, &gui::ARButton::clicked, this, [this] { m_owner.ShowPage(7); });
}

void PageNewSMS::SetLanguage()
{
    lblNewSMS[0]->setText(Text("phonenumber"));
    lblNewSMS[1]->setText(Text("message"));
    imgPhonebookButton->setToolTip(gui::PlainToolTip(Text("phonebook")));
}

bool PageNewSMS::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtPhoneNumber && event->type() == QEvent::KeyPress)
        return !txtPhoneNumber_KeyPress(*static_cast<QKeyEvent *>(event));
    return QWidget::eventFilter(watched, event);
}

void PageNewSMS::PrepareNewSMSMessage()
{
    txtMessage->PutHeader(m_owner.connection->UserName);
    txtMessage_Change();
}

void PageNewSMS::txtMessage_Change()
{
    try {
        const SmsCounter counter = CountSms(txtMessage->PlainText(), txtMessage->HeaderLength);
        lblFreeCharacters->setText(QStringLiteral("%1/%2").arg(counter.length).arg(counter.limit));
        QPalette palette = lblFreeCharacters->palette();
        palette.setColor(QPalette::WindowText, counter.tooLong ? QColor(192, 0, 0) : QColor(Qt::black));
        lblFreeCharacters->setPalette(palette);
    } catch (...) {
        ReportIn("txtMessage_Change");
    }
}

bool PageNewSMS::txtPhoneNumber_KeyPress(const QKeyEvent &event) const
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

void PageNewSMS::uflContacts_Changed()
{
    try {
        const ComposeLayout &layout = uflContacts->EntryCount() > 0 ? WithRecipients : WithoutRecipients;
        uflContacts->setVisible(layout.listVisible);
        QLabel *label = lblNewSMS[1];
        label->move(label->x(), layout.labelTop);
        txtMessage->setGeometry(txtMessage->x(), layout.labelTop + LabelHeight, txtMessage->width(), layout.messageHeight);
    } catch (...) {
        ReportIn("uflContacts_Changed");
    }
}

void PageNewSMS::AllowFreeNumbers(bool allowed)
{
    if (!allowed)
        txtPhoneNumber->clear();
    txtPhoneNumber->setEnabled(allowed);
}

void PageNewSMS::SendSMS()
{
    OutgoingSms sms{txtMessage->PlainText(), txtMessage->HeaderLength, txtPhoneNumber->text(),
                    uflContacts->SelectionText(), {}};
    for (qint32 i = 0; i < uflContacts->EntryCount(); ++i)
        sms.entryLabels << (uflContacts->EntryKind(i) == 0 ? uflContacts->ContactEntryLabel(i) : uflContacts->GroupEntryLabel(i));
    const QString refusal = Outbox(*m_owner.connection, m_owner.store).Send(sms);
    if (!refusal.isEmpty()) {
        m_owner.ShowAlert(common::LanguageText(refusal) + QLatin1Char('.'));
        return;
    }
    txtPhoneNumber->clear();
    PrepareNewSMSMessage();
    uflContacts->ClearEntries();
    m_owner.ShowAlert(Text("sms_sent"));
}
