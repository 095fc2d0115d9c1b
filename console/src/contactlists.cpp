#include "contactlists.h"

#include "common/language.h"
#include "gui/msgbox.h"
#include "store/alphabet.h"
#include "store/databasefiles.h"

#include <QListWidget>
#include <QTreeWidget>

namespace {

const std::array<QString, 4> ContactColumns = {QStringLiteral("FirstName"), QStringLiteral("LastName"),
                                               QStringLiteral("Company"), QStringLiteral("Phonenumber")};

QString ShownText(const QVariant &value)
{
    return value.isNull() ? QString() : value.toString();
}

} // namespace

SortColumns InitialSortColumns()
{
    return ContactColumns;
}

void ShiftSortColumns(SortColumns &sort, int index)
{
    if (index < 1 || index > 4)
        return;
    for (int i = 3; i >= 1; --i)
        sort[i] = sort[i - 1];
    sort[0] = ContactColumns[index - 1];
}

QString OrderText(const SortColumns &sort)
{
    QStringList names;
    for (const QString &name : sort)
        names << (std::find(ContactColumns.begin(), ContactColumns.end(), name) != ContactColumns.end() ? name : ContactColumns[0]);
    return AlphabeticalOrder(names, QStringLiteral("ID"));
}

void RefreshListBox(const QSqlDatabase &connection, QListWidget *list, const QString &query)
{
    list->clear();
    QSqlQuery rows = RunStatement(connection, query);
    while (NextRow(rows)) {
        auto *item = new QListWidgetItem(ShownText(rows.value(1)));
        item->setData(Qt::UserRole, static_cast<qint32>(rows.value(0).toLongLong()));
        list->addItem(item);
    }
}

void RefreshListView(const QSqlDatabase &connection, QTreeWidget *list, const SortColumns &sort, RowBoxes boxes)
{
    list->clear();
    QSqlQuery rows = RunStatement(
        connection, QStringLiteral("SELECT ID, FirstName, LastName, Company, Phonenumber FROM Contact ORDER BY ") + OrderText(sort));
    // Built apart and handed over at once: a list of 100,000 contacts
    // then takes one insertion instead of one per row.
    QList<QTreeWidgetItem *> items;
    while (NextRow(rows)) {
        auto *item = new QTreeWidgetItem(QStringList{ShownText(rows.value(1)), ShownText(rows.value(2)),
                                                     ShownText(rows.value(3)), ShownText(rows.value(4))});
        item->setData(0, Qt::UserRole, rows.value(0).toLongLong());
        if (boxes == RowBoxes::Clear) {
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Unchecked);
        }
        items.append(item);
    }
    list->addTopLevelItems(items);
}

qint64 RowID(const QListWidgetItem *item)
{
    return item->data(Qt::UserRole).toLongLong();
}

qint64 RowID(const QTreeWidgetItem *item)
{
    return item->data(0, Qt::UserRole).toLongLong();
}

bool YouWantToDelete(const QString &name)
{
    const QString prompt = common::LanguageText(QStringLiteral("you_want_to_delete_x")).replace(QStringLiteral("%1"), name);
    return gui::MsgBoxText(prompt, gui::vbYesNoQuestion, common::LanguageText(QStringLiteral("question"))) == QMessageBox::Yes;
}

QString RowName(const QListWidget *list, const QString &id)
{
    const int row = RowOfID(list, id);
    return row < 0 ? QString() : list->item(row)->text().trimmed();
}

int HighlightedRow(const QListWidget *list)
{
    const QList<QListWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

int RowOfID(const QListWidget *list, const QString &id)
{
    bool ok = false;
    const qint64 wanted = id.toLongLong(&ok);
    if (!ok)
        return -1;
    for (int row = 0; row < list->count(); ++row)
        if (RowID(list->item(row)) == wanted)
            return row;
    return -1;
}
