#pragma once

#include "contactlists.h"

#include <QFrame>
#include <QString>

class QLabel;
class QLineEdit;
class QListWidget;
class QTreeWidget;
class QTreeWidgetItem;
class frmMain;
namespace gui { class ARButton; }

// Tab 2: the groups of phonebook.db and their members. The ticks of the
// members list are the members of the highlighted group; ticking and
// clearing a box writes at once.
class GroupsTab : public QFrame {
    Q_OBJECT
public:
    explicit GroupsTab(frmMain &owner);

    // Removes the memberships whose contact or group no longer exists; no
    // box can show them. Run once, before the tabs are filled. False, after
    // the error has been reported, when the database cannot be changed.
    bool RemoveOrphanedLinks();
    // Refills the tab from the database; runs on every click of the tab.
    // False, after the error has been reported, when it cannot be filled.
    bool InitGroups();
    // Sets every box from the database for the highlighted group; every box
    // is clear while no group is highlighted.
    void RefreshCheckBoxes(const QSqlDatabase &connection);
    // Highlights the row of the group `id`, which loads it and its ticks.
    void SelectGroupItem(const QString &id);

    void btnAddGroup_Click();
    void btnEditGroup_Click();
    void btnDeleteGroup_Click();
    void btnClearFormGroup_Click();
    // Loads the highlighted group into the form and its members' ticks.
    void lstGroups_Click();
    // The user ticked or cleared the box of `row`.
    void lsvGroupPhonenumbers_ItemCheck(QTreeWidgetItem *row);
    // `index` 1 to 4: the clicked column sorts the members first.
    void lsvGroupPhonenumbers_ColumnClick(int index);

    // The ID of the group in the form; "" for none. Edit and Delete act on
    // it; memberships follow the highlighted row instead.
    QString selectedGroupID;
    SortColumns sortGroupPhonenumbers = InitialSortColumns();

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

private:
    void RefreshGroups();
    void SetTick(QTreeWidgetItem *row, bool ticked);
    bool LinkExists(qint64 groupID, qint64 contactID);
    // After a failed action: both lists as the database holds them, with
    // the form's group highlighted again and the form as it was typed.
    void ReportError(const char *procedure);

    frmMain &m_owner;
    // Set while the code sets boxes: only the user's ticks write.
    bool m_settingTicks = false;
};
