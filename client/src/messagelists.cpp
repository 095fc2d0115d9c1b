#include "messagelists.h"

#include "pageparts.h"
#include "pages.h"

#include "gui/msgbox.h"
#include "gui/place.h"

#include <QKeyEvent>
#include <QTreeWidget>

SmsItem::SmsItem(SmsRef message) : record(std::move(message))
{
    setText(0, record->MessageDate());
    setText(1, record->PhoneNumber());
    ShowState();
}

QVariant SmsItem::data(int column, int role) const
{
    if (role == Qt::FontRole && column == 0)
        return MessageDateFont(treeWidget()->font());
    if (role == Qt::ToolTipRole && column == 1)
        return gui::PlainToolTip(record->PhoneNumber());
    return QTreeWidgetItem::data(column, role);
}

void SmsItem::ShowState()
{
    // Two icons shared by every row: a list holds tens of thousands.
    static const QIcon unread(QStringLiteral(":/skins/icon-unread.png"));
    static const QIcon read(QStringLiteral(":/skins/icon-read.png"));
    setIcon(0, record->IsUnread ? unread : read);
}

SmsItem *SelectedItem(QTreeWidget *list)
{
    const QList<QTreeWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? nullptr : static_cast<SmsItem *>(selected.constFirst());
}

namespace {

// True when the rows show exactly these records in this order.
bool ListShows(QTreeWidget *list, const SmsCollection &records)
{
    if (list->topLevelItemCount() != records.size())
        return false;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (static_cast<SmsItem *>(list->topLevelItem(i))->record != records[i])
            return false;
    return true;
}

void RemoveRowOf(QTreeWidget *list, const SmsRef &record)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (static_cast<SmsItem *>(list->topLevelItem(i))->record == record) {
            delete list->takeTopLevelItem(i);
            return;
        }
}

class KeyDownFilter : public QObject {
public:
    KeyDownFilter(QObject *parent, std::function<void(int)> handler) : QObject(parent), m_handler(std::move(handler)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress)
            m_handler(static_cast<QKeyEvent *>(event)->key());
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(int)> m_handler;
};

} // namespace

void FillList(QTreeWidget *list, const SmsCollection &records)
{
    if (ListShows(list, records))
        return;
    list->clear();
    QList<QTreeWidgetItem *> rows;
    rows.reserve(records.size());
    for (const SmsRef &record : records)
        rows.append(new SmsItem(record));
    list->addTopLevelItems(rows);
}

QString OpenedMessageText(const clsSms &record, const char *userLabel, const char *numberLabel)
{
    QString message = record.Message();
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return Text(userLabel) + QStringLiteral(": ") + record.UserName() + QLatin1Char('\n') + Text(numberLabel)
        + QStringLiteral(": ") + record.PhoneNumber() + QLatin1Char('\n') + Text("date") + QStringLiteral(": ")
        + record.MessageDate() + QLatin1Char('\n') + message;
}

// The record is taken before the box opens: a push while it is open
// re-sorts the inbox and moves the rows.
void DeleteSelected(QTreeWidget *list, MessageStore &store)
{
    SmsItem *item = SelectedItem(list);
    if (!item)
        return;
    const SmsRef record = item->record;
    if (gui::MsgBox(QStringLiteral("are_you_sure_you_want_to_delete"), gui::vbYesNoQuestion, QStringLiteral("question"))
        != QMessageBox::Yes)
        return;
    if (store.Delete(record))
        RemoveRowOf(list, record);
}

void OnKeyDown(QTreeWidget *list, std::function<void(int)> handler)
{
    list->installEventFilter(new KeyDownFilter(list, std::move(handler)));
}
