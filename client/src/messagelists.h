#pragma once

// What the inbox and the sent items share: their rows, each carrying its
// own record, and the opening and deleting of a message.
#include "clientstore/messagestore.h"

#include <QTreeWidgetItem>
#include <functional>

class QTreeWidget;
class QWidget;

// A list row that carries its own record, so what it shows and what an
// action on it reaches are always the same message.
class SmsItem : public QTreeWidgetItem {
public:
    explicit SmsItem(SmsRef message);
    // The date a point smaller, and the other side whole under the
    // pointer; worked out when asked, as a list holds tens of thousands.
    QVariant data(int column, int role) const override;
    // The read or unread icon.
    void ShowState();

    SmsRef record;
};

SmsItem *SelectedItem(QTreeWidget *list);

// Rows for the records; a list that shows them already is kept as it is,
// so a visit of a large inbox costs no refill.
void FillList(QTreeWidget *list, const SmsCollection &records);

// An opened message: who it is to or from (`userLabel`), the other side
// (`numberLabel`), the date, and the text.
QString OpenedMessageText(const clsSms &record, const char *userLabel, const char *numberLabel);

// The delete question of both lists, then the delete of the selected row.
void DeleteSelected(QTreeWidget *list, MessageStore &store);

// Hands the key presses on a list to `handler`; the list still handles
// them itself.
void OnKeyDown(QTreeWidget *list, std::function<void(int)> handler);
