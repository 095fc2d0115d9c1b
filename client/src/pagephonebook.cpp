// Page 7: the phone book. The search, its result list with ticks, and the
// copy of the ticked rows to the compose page's recipients.
#include "pages.h"

#include "frmmain.h"
#include "imagebutton.h"
#include "pageparts.h"
#include "uflist.h"

#include "gui/arbutton.h"
#include "gui/place.h"
#include "platform/convert.h"
#include "protocol/protocol.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QTreeWidget>

#include <functional>

using gui::Place;
using platform::TrimBlanks;

namespace {

enum Column { NameColumn = 0, NumberColumn = 1, IdColumn = 2, KindColumn = 3 };
constexpr qsizetype RecordFields = 6;
constexpr qint16 GroupKind = 1;
constexpr int NumberPadding = 6;

// The row of one record's fields ID, kind, first name or group name, last
// name, company, phone number. Raises platform::Error for an ID or a kind
// that is no number: such a row could not be copied to the recipients.
QTreeWidgetItem *PhonebookRow(const QStringList &fields)
{
    platform::ToLong(fields[0]);
    const bool group = platform::ToInteger(fields[1]) == GroupKind;
    QString name = TrimBlanks(TrimBlanks(fields[2] + QLatin1Char(' ') + fields[3]) + QLatin1Char(' ') + fields[4]);
    if (group)
        name += QStringLiteral(" (Group)");
    auto *row = new QTreeWidgetItem(QStringList{name, fields[5], fields[0], fields[1]});
    // A name too long for the column shows whole under the pointer.
    row->setToolTip(NameColumn, gui::PlainToolTip(name));
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    row->setCheckState(NameColumn, Qt::Unchecked);
    if (group) {
        QFont bold = row->font(NameColumn);
        bold.setBold(true);
        for (int column = NameColumn; column <= KindColumn; ++column)
            row->setFont(column, bold);
    }
    return row;
}

// The number column as wide as the widest number listed, the name the rest.
void FitNumberColumn(QTreeWidget *list)
{
    QFontMetrics metrics(list->font());
    int widest = 0;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(list->topLevelItem(i)->text(NumberColumn)));
    list->setColumnWidth(NumberColumn, widest + 2 * NumberPadding);
}

void SetTicks(QTreeWidget *list, const std::function<Qt::CheckState(Qt::CheckState)> &tick)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = list->topLevelItem(i);
        row->setCheckState(NameColumn, tick(row->checkState(NameColumn)));
    }
}

} // namespace

PagePhonebook::PagePhonebook(frmMain &owner) : QWidget(&owner), m_owner(owner)
{
    txtPhonebookSearch = Place<QLineEdit>(this, QStringLiteral("txtPhonebookSearch"), 8, 6, 206, 26);
    // The service cannot decode a longer search.
    txtPhonebookSearch->setMaxLength(protocol::MaxDataLength);
    imgPhonebookSearchButton = PlaceGlyphButton(this, QStringLiteral("imgPhonebookSearchButton"), 218, 6, "search");
    lsvPhonebook = PlaceList(this, QStringLiteral("lsvPhonebook"), 4);
    lsvPhonebook->setGeometry(8, 38, 238, 220);
    lsvPhonebook->hideColumn(IdColumn);
    lsvPhonebook->hideColumn(KindColumn);
    // A point smaller, as the message lists. The number column is as wide
    // as the result's numbers need and the name takes the rest; a group has
    // no number, so its name spans the whole row.
    QFont font = lsvPhonebook->font();
    font.setPointSizeF(font.pointSizeF() - 1);
    lsvPhonebook->setFont(font);
    lsvPhonebook->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lsvPhonebook->header()->setStretchLastSection(false);
    lsvPhonebook->header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    lblPhonebookSelectAll = PlaceLinkLabel(this, QStringLiteral("lblPhonebookSelectAll"), 8, 264, 76, 20);
    lblPhonebookClearAll = PlaceLinkLabel(this, QStringLiteral("lblPhonebookClearAll"), 88, 264, 76, 20);
    lblPhonebookToggle = PlaceLinkLabel(this, QStringLiteral("lblPhonebookToggle"), 168, 264, 78, 20);

    connect(imgPhonebookSearchButton, &gui::ARButton::clicked, this, &PagePhonebook::imgPhonebookSearchButton_Click);
    connect(txtPhonebookSearch, &QLineEdit::returnPressed, this, &PagePhonebook::imgPhonebookSearchButton_Click);
    connect(m_owner.connection, &ServiceConnection::PhonebookResult, this, &PagePhonebook::ShowPhonebookResult);
    connect(lblPhonebookSelectAll, &ImageButton::clicked, this, &PagePhonebook::lblPhonebookSelectAll_Click);
    connect(lblPhonebookClearAll, &ImageButton::clicked, this, &PagePhonebook::lblPhonebookClearAll_Click);
    connect(lblPhonebookToggle, &ImageButton::clicked, this, &PagePhonebook::lblPhonebookToggle_Click);
}

void PagePhonebook::SetLanguage()
{
    lsvPhonebook->headerItem()->setText(NameColumn, Text("name"));
    lsvPhonebook->headerItem()->setText(NumberColumn, Text("phonenumber"));
    lblPhonebookSelectAll->setText(Text("select_all"));
    lblPhonebookClearAll->setText(Text("clear_all"));
    lblPhonebookToggle->setText(Text("toggle"));
}

void PagePhonebook::imgPhonebookSearchButton_Click()
{
    try {
        m_owner.connection->SendRequest(protocol::CMD_PHONEBOOK_SEARCH, txtPhonebookSearch->text());
    } catch (...) {
        ReportIn("imgPhonebookSearchButton_Click");
    }
}

void PagePhonebook::ShowPhonebookResult(const QString &data)
{
    lsvPhonebook->clear();
    QList<QTreeWidgetItem *> rows;
    try {
        const QStringList records = data.isEmpty() ? QStringList() : data.split(QLatin1Char('|'));
        rows.reserve(records.size());
        for (const QString &record : records) {
            // A stored value holding "^" shifts the fields: such a record is not shown.
            const QStringList fields = record.split(QLatin1Char('^'));
            if (fields.size() == RecordFields)
                rows << PhonebookRow(fields);
        }
        lsvPhonebook->addTopLevelItems(rows);
    } catch (...) {
        lsvPhonebook->addTopLevelItems(rows);
        ReportIn("ExecuteCommand");
    }
    // A group has no number: its name takes the whole row. A row spans
    // only once it is in the list.
    for (QTreeWidgetItem *row : std::as_const(rows))
        row->setFirstColumnSpanned(row->font(NameColumn).bold());
    FitNumberColumn(lsvPhonebook);
}

void PagePhonebook::lblPhonebookSelectAll_Click()
{
    SetTicks(lsvPhonebook, [](Qt::CheckState) { return Qt::Checked; });
}

void PagePhonebook::lblPhonebookClearAll_Click()
{
    SetTicks(lsvPhonebook, [](Qt::CheckState) { return Qt::Unchecked; });
}

void PagePhonebook::lblPhonebookToggle_Click()
{
    SetTicks(lsvPhonebook, [](Qt::CheckState state) { return state == Qt::Checked ? Qt::Unchecked : Qt::Checked; });
}

void PagePhonebook::CopyToRecipients()
{
    ucUFList *recipients = m_owner.pageNewSMS->uflContacts;
    for (int i = 0; i < lsvPhonebook->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *row = lsvPhonebook->topLevelItem(i);
        if (row->checkState(NameColumn) != Qt::Checked)
            continue;
        const qint32 id = platform::ToLong(row->text(IdColumn));
        const qint16 kind = platform::ToInteger(row->text(KindColumn));
        if (!recipients->ContainsEntry(id, kind))
            recipients->AddEntry(id, kind, row->text(NameColumn));
    }
    recipients->RefreshEntries();
    m_owner.ShowPage(1);
}
