// Page 0: the menu.
#include "pages.h"

#include "frmmain.h"
#include "imagebutton.h"
#include "pageparts.h"
#include "uflist.h"

#include "gui/place.h"

#include <QLabel>

using gui::Place;

PageMenu::PageMenu(frmMain &owner) : QWidget(&owner), m_owner(owner)
{
    static const char *const icons[EntryCount + 1] = {nullptr, "new", "inbox", "sent", "settings", "login"};
    lblSelection = Place<QLabel>(this, QStringLiteral("lblSelection"), 10, 0, 234, 46);
    lblSelection->setStyleSheet(QStringLiteral("background: rgba(255, 255, 255, 150); border: 1px solid rgb(120, 122, 200); border-radius: 8px;"));
    for (int i = 1; i <= EntryCount; ++i) {
        const int top = 18 + (i - 1) * 54;
        imgIcon[i] = Place<ImageButton>(this, Indexed("imgIcon", i), 22, top + 6, 24, 24);
        imgIcon[i]->setPixmap(QPixmap(QStringLiteral(":/skins/icon-%1.png").arg(QLatin1String(icons[i]))));
        lblMenu[i] = Place<ImageButton>(this, Indexed("lblMenu", i), 56, top, 184, 36);
        lblMenu[i]->setTextFormat(Qt::PlainText);
        QFont font = lblMenu[i]->font();
        font.setPointSizeF(font.pointSizeF() * 1.15);
        lblMenu[i]->setFont(font);
        for (ImageButton *entry : {imgIcon[i], lblMenu[i]}) {
            connect(entry, &ImageButton::moved, this, [this, i] { lblMenu_MouseMove(i); });
            connect(entry, &ImageButton::clicked, this, [this, i] { lblMenu_Click(i); });
        }
    }
}

void PageMenu::SetLanguage()
{
    const char *const menu[EntryCount + 1] = {nullptr, "new_sms_message", "inbox", "sent_items", "settings", "login"};
    for (int i = 1; i <= EntryCount; ++i)
        lblMenu[i]->setText(Text(menu[i]));
}

void PageMenu::PrepareMenu()
{
    for (int i = 1; i <= EntryCount; ++i)
        lblMenu[i]->setFrameShape(QFrame::NoFrame);
    lblSelection->move(lblSelection->x(), -lblSelection->height());
}

void PageMenu::lblMenu_Click(int index)
{
    m_owner.HideAlert();
    if (index == 1)
        m_owner.pageNewSMS->uflContacts->ClearEntries();
    m_owner.ShowPage(index);
}

void PageMenu::lblMenu_MouseMove(int index)
{
    lblSelection->move(lblSelection->x(), lblMenu[index]->y() - 5);
}
