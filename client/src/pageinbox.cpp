// Page 2: the inbox, and the messages the service pushes into it.
#include "pages.h"

#include "frmmain.h"
#include "messagelists.h"
#include "pageparts.h"

#include "clientsound/mdlsound.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTreeWidget>

PageInbox::PageInbox(frmMain &owner) : QWidget(&owner), m_owner(owner)
{
    lblIncomingSMS = PlaceLabel(this, QStringLiteral("lblIncomingSMS"), 8, 6, 238, 18);
    lvInbox = PlaceMessageList(this, QStringLiteral("lvInbox"));
    txtIncomingSMS = PlaceMessageText(this, QStringLiteral("txtIncomingSMS"));
    connect(lvInbox, &QTreeWidget::itemDoubleClicked, this, &PageInbox::lvInbox_DblClick);
    OnKeyDown(lvInbox, [this](int key) { lvInbox_KeyDown(key); });
}

void PageInbox::SetLanguage()
{
    lblIncomingSMS->setText(Text("incoming_sms_messages"));
}

void PageInbox::ShowList()
{
    lvInbox->show();
    txtIncomingSMS->hide();
    try {
        RefreshIncomingSMSList();
    } catch (...) {
        ReportIn("LoadSMS");
    }
}

void PageInbox::RefreshIncomingSMSList()
{
    try {
        SortSMS(m_owner.store.InboxMessages);
        FillList(lvInbox, m_owner.store.InboxMessages);
    } catch (...) {
        ReportIn("RefreshIncomingSMSList");
    }
}

void PageInbox::NewSMSArrived(const QString &data)
{
    try {
        MessageStore &store = m_owner.store;
        const qsizetype at = store.KeepPushedSMS(data);
        // A list that shows the inbox takes the one new row in its place;
        // one that does not is filled anew.
        if (lvInbox->topLevelItemCount() == store.InboxMessages.size() - 1)
            lvInbox->insertTopLevelItem(static_cast<int>(at), new SmsItem(store.InboxMessages[at]));
        else
            RefreshIncomingSMSList();
        if (m_owner.settings.sound)
            mdlSound::PlayIncomingSound();
        m_owner.ShowAlert(Text("new_sms_message") + QLatin1Char('!'));
    } catch (...) {
        ReportIn("ExecuteCommand");
    }
}

void PageInbox::lvInbox_DblClick()
{
    try {
        SmsItem *item = SelectedItem(lvInbox);
        if (!item)
            return;
        txtIncomingSMS->setPlainText(OpenedMessageText(*item->record, "to", "from"));
        if (item->record->IsUnread) {
            m_owner.store.MarkRead(item->record);
            item->ShowState();
        }
        txtIncomingSMS->show();
        lvInbox->hide();
    } catch (...) {
        ReportIn("lvInbox_DblClick");
    }
}

void PageInbox::lvInbox_KeyDown(int keyCode)
{
    try {
        if (keyCode == Qt::Key_Delete)
            DeleteSelected(lvInbox, m_owner.store);
    } catch (...) {
        ReportIn("lvInbox_KeyDown");
    }
}
