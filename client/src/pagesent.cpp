// Page 3: the sent items.
#include "pages.h"

#include "frmmain.h"
#include "messagelists.h"
#include "pageparts.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTreeWidget>

PageSent::PageSent(frmMain &owner) : QWidget(&owner), m_owner(owner)
{
    lblSentItems = PlaceLabel(this, QStringLiteral("lblSentItems"), 8, 6, 238, 18);
    lvSent = PlaceMessageList(this, QStringLiteral("lvSent"));
    txtSentItem = PlaceMessageText(this, QStringLiteral("txtSentItem"));
    connect(lvSent, &QTreeWidget::itemDoubleClicked, this, &PageSent::lvSent_DblClick);
    OnKeyDown(lvSent, [this](int key) { lvSent_KeyDown(key); });
}

void PageSent::SetLanguage()
{
    lblSentItems->setText(Text("sent_items"));
}

void PageSent::ShowList()
{
    lvSent->show();
    txtSentItem->hide();
    if (m_owner.store.SentFolderHasFiles())
        LoadSMS();
}

void PageSent::LoadSMS()
{
    try {
        SortSMS(m_owner.store.SentMessages);
        FillList(lvSent, m_owner.store.SentMessages);
    } catch (...) {
        ReportIn("LoadSMS");
    }
}

void PageSent::lvSent_DblClick()
{
    try {
        SmsItem *item = SelectedItem(lvSent);
        if (!item)
            return;
        txtSentItem->setPlainText(OpenedMessageText(*item->record, "from", "to"));
        txtSentItem->show();
        lvSent->hide();
    } catch (...) {
        ReportIn("lvSent_DblClick");
    }
}

void PageSent::lvSent_KeyDown(int keyCode)
{
    try {
        if (keyCode == Qt::Key_Delete)
            DeleteSelected(lvSent, m_owner.store);
    } catch (...) {
        ReportIn("lvSent_KeyDown");
    }
}
