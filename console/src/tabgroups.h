#pragma once

#include <QFrame>

class QLabel;
class QLineEdit;
class QListWidget;
class QTreeWidget;
class frmMain;
namespace gui { class ARButton; }

// Tab 2: the groups of phonebook.db and their members.
class GroupsTab : public QFrame {
    Q_OBJECT
public:
    explicit GroupsTab(frmMain &owner);

    // Refills the tab from the database; runs on every click of the tab.
    void InitGroups();

    QLabel *lblGroups;
    QListWidget *lstGroups;
    QLabel *lblGroupName;
    QLineEdit *txtGroupName;
    gui::ARButton *btnAddGroup;
    gui::ARButton *btnEditGroup;
    gui::ARButton *btnDeleteGroup;
    gui::ARButton *btnClearFormGroup;
    QLabel *lblPhonenumbers;
    QTreeWidget *lsvGroupPhonenumbers;
};
