#include "pageparts.h"

#include "imagebutton.h"
#include "pages.h"

#include "common/errorlog.h"
#include "common/language.h"
#include "gui/arbutton.h"
#include "gui/place.h"

#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTreeWidget>

using gui::Place;

QString Text(const char *key)
{
    return common::LanguageText(QLatin1String(key));
}

void ReportIn(const char *procedure)
{
    common::LogError(QStringLiteral("frmMain"), QLatin1String(procedure));
}

QString Indexed(const char *name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

QLabel *PlaceLabel(QWidget *page, const QString &name, int left, int top, int width, int height)
{
    auto *label = Place<QLabel>(page, name, left, top, width, height);
    label->setTextFormat(Qt::PlainText);
    return label;
}

ImageButton *PlaceLinkLabel(QWidget *page, const QString &name, int left, int top, int width, int height)
{
    auto *label = Place<ImageButton>(page, name, left, top, width, height);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
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

QFont MessageDateFont(const QFont &listFont)
{
    QFont font = listFont;
    font.setPointSizeF(font.pointSizeF() - 1);
    return font;
}
