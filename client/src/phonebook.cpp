// The phone-book page: the search, its result list with ticks, and the
// copy of the ticked rows to the compose page's recipients.
#include "frmmain.h"

#include "pages.h"
#include "uflist.h"

#include "common/errorlog.h"
#include "gui/arbutton.h"
#include "gui/place.h"
#include "platform/convert.h"
#include "protocol/protocol.h"

#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>

#include <functional>

using platform::TrimBlanks;

namespace {

enum Column { NameColumn = 0, NumberColumn = 1, IdColumn = 2, KindColumn = 3 };
constexpr qsizetype RecordFields = 6;
constexpr qint16 GroupKind = 1;
constexpr int NumberPadding = 6;

void ReportIn(const char *procedure)
{
    common::LogError(QStringLiteral("frmMain"), QLatin1String(procedure));
}

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

void frmMain::ConnectPhonebookHandlers()
{
    connect(pagePhonebook->imgPhonebookSearchButton, &gui::ARButton::clicked, this, &frmMain::imgPhonebookSearchButton_Click);
    connect(pagePhonebook->txtPhonebookSearch, &QLineEdit::returnPressed, this, &frmMain::imgPhonebookSearchButton_Click);
    connect(connection, &ServiceConnection::PhonebookResult, this, &frmMain::ShowPhonebookResult);
    for (QLabel *label : {pagePhonebook->lblPhonebookSelectAll, pagePhonebook->lblPhonebookClearAll, pagePhonebook->lblPhonebookToggle})
        label->installEventFilter(this);
}

void frmMain::imgPhonebookSearchButton_Click()
{
    try {
        connection->SendRequest(protocol::CMD_PHONEBOOK_SEARCH, pagePhonebook->txtPhonebookSearch->text());
    } catch (...) {
        ReportIn("imgPhonebookSearchButton_Click");
    }
}

void frmMain::ShowPhonebookResult(const QString &data)
{
    QTreeWidget *list = pagePhonebook->lsvPhonebook;
    list->clear();
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
        list->addTopLevelItems(rows);
    } catch (...) {
        list->addTopLevelItems(rows);
        ReportIn("ExecuteCommand");
    }
    // A group has no number: its name takes the whole row. A row spans
    // only once it is in the list.
    for (QTreeWidgetItem *row : std::as_const(rows))
        row->setFirstColumnSpanned(row->font(NameColumn).bold());
    FitNumberColumn(list);
}

void frmMain::lblPhonebookSelectAll_Click()
{
    SetTicks(pagePhonebook->lsvPhonebook, [](Qt::CheckState) { return Qt::Checked; });
}

void frmMain::lblPhonebookClearAll_Click()
{
    SetTicks(pagePhonebook->lsvPhonebook, [](Qt::CheckState) { return Qt::Unchecked; });
}

void frmMain::lblPhonebookToggle_Click()
{
    SetTicks(pagePhonebook->lsvPhonebook,
             [](Qt::CheckState state) { return state == Qt::Checked ? Qt::Unchecked : Qt::Checked; });
}

void frmMain::CopyToRecipients()
{
    QTreeWidget *list = pagePhonebook->lsvPhonebook;
    ucUFList *recipients = pageNewSMS->uflContacts;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *row = list->topLevelItem(i);
        if (row->checkState(NameColumn) != Qt::Checked)
            continue;
        const qint32 id = platform::ToLong(row->text(IdColumn));
        const qint16 kind = platform::ToInteger(row->text(KindColumn));
        if (!recipients->ContainsEntry(id, kind))
            recipients->AddEntry(id, kind, row->text(NameColumn));
    }
    recipients->RefreshEntries();
    ShowPage(1);
}
