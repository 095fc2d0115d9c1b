#pragma once

#include <QSqlDatabase>
#include <QString>
#include <array>

class QListWidget;
class QListWidgetItem;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

// The order of a contact list: four column names of Contact, the first
// sorting first. A column may stand in it twice.
using SortColumns = std::array<QString, 4>;

// FirstName, LastName, Company, Phonenumber.
SortColumns InitialSortColumns();

// The order after a click on the header of column `index` (1 to 4, as the
// list shows them): every name moves one place back, the last one drops
// out, and the clicked column sorts first. Other indices change nothing.
void ShiftSortColumns(SortColumns &sort, int index);

// The ORDER BY text of the order: its names joined by ", ", each in the
// alphabetical collation, then ID for the rows that tie on all four. Only
// the four column names of Contact ever reach it.
QString OrderText(const SortColumns &sort);

// Empties `list` and fills it from `query`: column 1 (Null shows as "") is
// the row text, column 0 the ID kept in Qt::UserRole. Raises
// platform::Error when the query fails.
void RefreshListBox(const QSqlDatabase &connection, QListWidget *list, const QString &query);

// Whether the rows of a contact list carry a check box.
enum class RowBoxes { None, Clear };

// Sizes the columns of a list whose last column holds phone numbers to the
// list's width: the last one shows its header and every number of the list
// (up to 20 characters) whole, the others share the rest (the first also
// holds the row's check box when the rows carry one). A text that is still
// cut shows whole in a tool tip. Runs after every fill of the list and
// every change of its headers.
void SizeNumberListColumns(QTreeView *list);

// Empties `list` and fills it with every contact in the order `sort`: the
// row's text is FirstName, then LastName, Company and Phonenumber; the
// contact's ID is the row's tag (Qt::UserRole of column 0). The list does
// not sort itself. Raises platform::Error when the query fails.
void RefreshListView(const QSqlDatabase &connection, QTreeWidget *list, const SortColumns &sort, RowBoxes boxes = RowBoxes::None);

// The ID that a row of either list keeps.
qint64 RowID(const QListWidgetItem *item);
qint64 RowID(const QTreeWidgetItem *item);

// Asks "you_want_to_delete_x" about `name` with Yes and No; true for Yes.
bool YouWantToDelete(const QString &name);

// The text of the list box row whose ID is the number in `id`, blanks at
// both ends removed; "" when no row has it.
QString RowName(const QListWidget *list, const QString &id);

// The highlighted row of a list box, or -1.
int HighlightedRow(const QListWidget *list);
// The row of a list box whose ID is the number in `id`, or -1.
int RowOfID(const QListWidget *list, const QString &id);
