#include "contactlists.h"

#include "common/language.h"
#include "gui/msgbox.h"
#include "store/alphabet.h"
#include "gui/place.h"
#include "store/databasefiles.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QListWidget>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeWidget>

namespace {

const std::array<QString, 4> ContactColumns = {QStringLiteral("FirstName"), QStringLiteral("LastName"),
                                               QStringLiteral("Company"), QStringLiteral("Phonenumber")};

QString ShownText(const QVariant &value)
{
    return value.isNull() ? QString() : value.toString();
}

// The space the style leaves on each side of a cell's text.
int TextMargin(const QWidget *view)
{
    return view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
}

// Shows the whole text of a cell whose text the list cuts, and no tip for
// one it shows whole.
class CutTextToolTips : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        if (event->type() != QEvent::ToolTip)
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        const QRect textRect = view->style()->subElementRect(QStyle::SE_ItemViewItemText, &cell, view);
        if (cell.fontMetrics.horizontalAdvance(cell.text) > textRect.width() - 2 * TextMargin(view))
            QToolTip::showText(event->globalPos(), gui::PlainToolTip(cell.text), view->viewport(), option.rect);
        else
            QToolTip::hideText();
        return true;
    }
};

} // namespace

void SizeNumberListColumns(QTreeView *list)
{
    const QAbstractItemModel *model = list->model();
    const int last = model->columnCount() - 1;
    const QFontMetrics metrics(list->font());
    // Summed from a table of the characters' widths: a list may hold a
    // million numbers.
    std::array<int, 128> ascii;
    for (int c = 0; c < 128; ++c)
        ascii[c] = metrics.horizontalAdvance(QChar(c));
    const auto width = [&](QStringView text) {
        int sum = 0;
        for (const QChar c : text)
            sum += c.unicode() < 128 ? ascii[c.unicode()] : metrics.horizontalAdvance(c);
        return sum;
    };
    // No number of up to 20 characters is wider than a plus sign and 19
    // digits: blanks, brackets and dashes are narrower than a digit.
    const int twenty = ascii['+'] + 19 * *std::max_element(ascii.begin() + '0', ascii.begin() + '9' + 1);
    int widest = QFontMetrics(list->header()->font()).horizontalAdvance(model->headerData(last, Qt::Horizontal).toString());
    for (int row = 0; row < model->rowCount() && widest < twenty; ++row)
        widest = std::max(widest, width(model->index(row, last).data().toString()));
    const int margin = TextMargin(list);
    const int number = std::min(widest, twenty) + 2 * margin + 2;
    // Room for the vertical scroll bar, so that a long list shows its
    // numbers whole too.
    const QStyle *style = list->style();
    const int inside = list->width() - 2 * list->frameWidth() - style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
    const bool boxes = model->rowCount() > 0 && (model->flags(model->index(0, 0)) & Qt::ItemIsUserCheckable);
    const int box = boxes ? style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, list) + 2 * margin : 0;
    const int share = std::max(0, inside - number - box) / std::max(1, last);
    for (int column = 0; column < last; ++column)
        list->setColumnWidth(column, share + (column == 0 ? box : 0));
    list->setColumnWidth(last, number);
    if (!dynamic_cast<CutTextToolTips *>(list->itemDelegate()))
        list->setItemDelegate(new CutTextToolTips(list));
}

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
    SizeNumberListColumns(list);
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
