#include "pages.h"

#include "headertextedit.h"
#include "uflist.h"

#include "gui/arbutton.h"
#include "gui/place.h"
#include "protocol/protocol.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTreeWidget>

using gui::Place;

namespace {

QString Indexed(const char *name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

// Texts on the pages come from the language files and are shown as they
// stand, never as markup.
QLabel *PlaceLabel(QWidget *page, const QString &name, int left, int top, int width, int height)
{
    auto *label = Place<QLabel>(page, name, left, top, width, height);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QTreeWidget *PlaceList(QWidget *page, const QString &name, int columns)
{
    auto *list = Place<QTreeWidget>(page, name, 8, 28, 238, 254);
    list->setColumnCount(columns);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}

// A message list without headings: date and phone number.
QTreeWidget *PlaceMessageList(QWidget *page, const QString &name)
{
    QTreeWidget *list = PlaceList(page, name, 2);
    list->setHeaderHidden(true);
    // A point smaller than the page, so that the icon, the whole date and
    // the whole phone number fit side by side; the number takes the rest.
    QFont font = list->font();
    font.setPointSizeF(font.pointSizeF() - 1);
    list->setFont(font);
    list->setIconSize(QSize(16, 16));
    list->header()->setMinimumSectionSize(40);
    list->header()->setStretchLastSection(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The date column takes what a row's icon and date need, measured on a
    // row as the lists show it; the other side takes the rest. The date is a
    // point smaller again, so a recipient such as a group's name has room.
    auto *sample = new QTreeWidgetItem(list, QStringList{QStringLiteral("00/00/00 00:00:00")});
    sample->setIcon(0, QIcon(QStringLiteral(":/skins/icon-read.png")));
    sample->setFont(0, MessageDateFont(font));
    list->resizeColumnToContents(0);
    delete sample;
    return list;
}

QPlainTextEdit *PlaceMessageText(QWidget *page, const QString &name)
{
    auto *text = Place<QPlainTextEdit>(page, name, 8, 28, 238, 254);
    text->setReadOnly(true);
    text->hide();
    return text;
}

gui::ARButton *PlaceGlyphButton(QWidget *page, const QString &name, int left, int top, const char *icon)
{
    auto *button = Place<gui::ARButton>(page, name, left, top, 28, 26);
    button->setPicture(QPixmap(QStringLiteral(":/skins/icon-%1.png").arg(QLatin1String(icon))));
    return button;
}

} // namespace

QFont MessageDateFont(const QFont &listFont)
{
    QFont font = listFont;
    font.setPointSizeF(font.pointSizeF() - 1);
    return font;
}

PageMenu::PageMenu(QWidget *parent) : QWidget(parent)
{
    static const char *const icons[EntryCount + 1] = {nullptr, "new", "inbox", "sent", "settings", "login"};
    lblSelection = Place<QLabel>(this, QStringLiteral("lblSelection"), 10, 0, 234, 46);
    lblSelection->setStyleSheet(QStringLiteral("background: rgba(255, 255, 255, 150); border: 1px solid rgb(120, 122, 200); border-radius: 8px;"));
    for (int i = 1; i <= EntryCount; ++i) {
        const int top = 18 + (i - 1) * 54;
        imgIcon[i] = Place<QLabel>(this, Indexed("imgIcon", i), 22, top + 6, 24, 24);
        imgIcon[i]->setPixmap(QPixmap(QStringLiteral(":/skins/icon-%1.png").arg(QLatin1String(icons[i]))));
        lblMenu[i] = PlaceLabel(this, Indexed("lblMenu", i), 56, top, 184, 36);
        QFont font = lblMenu[i]->font();
        font.setPointSizeF(font.pointSizeF() * 1.15);
        lblMenu[i]->setFont(font);
        for (QLabel *entry : {imgIcon[i], lblMenu[i]}) {
            entry->setCursor(Qt::PointingHandCursor);
            entry->setMouseTracking(true);
        }
    }
}

PageNewSMS::PageNewSMS(QWidget *parent) : QWidget(parent)
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
}

PageInbox::PageInbox(QWidget *parent) : QWidget(parent)
{
    lblIncomingSMS = PlaceLabel(this, QStringLiteral("lblIncomingSMS"), 8, 6, 238, 18);
    lvInbox = PlaceMessageList(this, QStringLiteral("lvInbox"));
    txtIncomingSMS = PlaceMessageText(this, QStringLiteral("txtIncomingSMS"));
}

PageSent::PageSent(QWidget *parent) : QWidget(parent)
{
    lblSentItems = PlaceLabel(this, QStringLiteral("lblSentItems"), 8, 6, 238, 18);
    lvSent = PlaceMessageList(this, QStringLiteral("lvSent"));
    txtSentItem = PlaceMessageText(this, QStringLiteral("txtSentItem"));
}

PageSettings::PageSettings(QWidget *parent) : QWidget(parent)
{
    lblConfig[0] = PlaceLabel(this, Indexed("lblConfig", 0), 8, 10, 238, 16);
    txtServerIP = Place<QLineEdit>(this, QStringLiteral("txtServerIP"), 8, 28, 238, 24);
    lblConfig[1] = PlaceLabel(this, Indexed("lblConfig", 1), 8, 62, 238, 16);
    txtServerPort = Place<QLineEdit>(this, QStringLiteral("txtServerPort"), 8, 80, 100, 24);
    lblConfig[2] = PlaceLabel(this, Indexed("lblConfig", 2), 8, 114, 238, 16);
    cboLanguage = Place<QComboBox>(this, QStringLiteral("cboLanguage"), 8, 132, 238, 26);
    lblConfig[3] = PlaceLabel(this, Indexed("lblConfig", 3), 8, 168, 238, 16);
    cboSound = Place<QComboBox>(this, QStringLiteral("cboSound"), 8, 186, 120, 26);
    // Entry 0 is "on", entry 1 "off"; their texts come with the language.
    cboSound->addItems({QString(), QString()});
    cboSound->setCurrentIndex(-1);
}

PageLogin::PageLogin(QWidget *parent) : QWidget(parent)
{
    lblLogin[0] = PlaceLabel(this, Indexed("lblLogin", 0), 8, 44, 238, 16);
    txtUsername = Place<QLineEdit>(this, QStringLiteral("txtUsername"), 8, 62, 238, 26);
    lblLogin[1] = PlaceLabel(this, Indexed("lblLogin", 1), 8, 100, 238, 16);
    txtPassword = Place<QLineEdit>(this, QStringLiteral("txtPassword"), 8, 118, 238, 26);
    txtPassword->setEchoMode(QLineEdit::Password);
    chkSavePassword = Place<QCheckBox>(this, QStringLiteral("chkSavePassword"), 8, 156, 238, 22);
}

PagePhonebook::PagePhonebook(QWidget *parent) : QWidget(parent)
{
    txtPhonebookSearch = Place<QLineEdit>(this, QStringLiteral("txtPhonebookSearch"), 8, 6, 206, 26);
    // The service cannot decode a longer search.
    txtPhonebookSearch->setMaxLength(protocol::MaxDataLength);
    imgPhonebookSearchButton = PlaceGlyphButton(this, QStringLiteral("imgPhonebookSearchButton"), 218, 6, "search");
    lsvPhonebook = PlaceList(this, QStringLiteral("lsvPhonebook"), 4);
    lsvPhonebook->setGeometry(8, 38, 238, 220);
    lsvPhonebook->hideColumn(2);
    lsvPhonebook->hideColumn(3);
    // A point smaller, as the message lists. The number column is as wide
    // as the result's numbers need and the name takes the rest; a group has
    // no number, so its name spans the whole row.
    QFont font = lsvPhonebook->font();
    font.setPointSizeF(font.pointSizeF() - 1);
    lsvPhonebook->setFont(font);
    lsvPhonebook->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lsvPhonebook->header()->setStretchLastSection(false);
    lsvPhonebook->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    lblPhonebookSelectAll = PlaceLabel(this, QStringLiteral("lblPhonebookSelectAll"), 8, 264, 76, 20);
    lblPhonebookClearAll = PlaceLabel(this, QStringLiteral("lblPhonebookClearAll"), 88, 264, 76, 20);
    lblPhonebookToggle = PlaceLabel(this, QStringLiteral("lblPhonebookToggle"), 168, 264, 78, 20);
    for (QLabel *label : {lblPhonebookSelectAll, lblPhonebookClearAll, lblPhonebookToggle}) {
        label->setAlignment(Qt::AlignCenter);
        label->setCursor(Qt::PointingHandCursor);
        QFont font = label->font();
        font.setUnderline(true);
        label->setFont(font);
    }
}
