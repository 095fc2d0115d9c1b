#include "tabgroups.h"

#include "controls.h"
#include "frmmain.h"
#include "storedtext.h"
#include "tabphonebook.h"

#include "common/errorlog.h"
#include "common/language.h"
#include "gui/arbutton.h"
#include "gui/msgbox.h"
#include "store/alphabet.h"
#include "store/databasefiles.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScopedValueRollback>
#include <QSet>
#include <QTreeWidget>

namespace {

const QString GroupsQuery = QStringLiteral("SELECT ID, GroupName FROM Groups ORDER BY ")
    + AlphabeticalOrder({QStringLiteral("GroupName")}, QStringLiteral("ID"));

} // namespace

GroupsTab::GroupsTab(frmMain &owner) : QFrame(&owner), m_owner(owner)
{
    lblGroups = Place<QLabel>(this, "lblGroups", 10, 8, 220, 16);
    lstGroups = Place<QListWidget>(this, "lstGroups", 10, 26, 220, 122);
    lstGroups->setSortingEnabled(false);
    lstGroups->setSelectionMode(QAbstractItemView::SingleSelection);
    lblGroupName = Place<QLabel>(this, "lblGroupName", 10, 154, 220, 18);
    txtGroupName = Place<QLineEdit>(this, "txtGroupName", 10, 174, 220, 22);
    btnAddGroup = Place<gui::ARButton>(this, "btnAddGroup", 10, 206, 107, 36);
    btnEditGroup = Place<gui::ARButton>(this, "btnEditGroup", 123, 206, 107, 36);
    btnDeleteGroup = Place<gui::ARButton>(this, "btnDeleteGroup", 10, 248, 107, 36);
    btnClearFormGroup = Place<gui::ARButton>(this, "btnClearFormGroup", 123, 248, 107, 36);

    lblPhonenumbers = Place<QLabel>(this, "lblPhonenumbers", 245, 8, 306, 16);
    lsvGroupPhonenumbers = PlaceContactList(this, "lsvGroupPhonenumbers", 245, 26, 306, 262);

    connect(btnAddGroup, &gui::ARButton::clicked, this, &GroupsTab::btnAddGroup_Click);
    connect(btnEditGroup, &gui::ARButton::clicked, this, &GroupsTab::btnEditGroup_Click);
    connect(btnDeleteGroup, &gui::ARButton::clicked, this, &GroupsTab::btnDeleteGroup_Click);
    connect(btnClearFormGroup, &gui::ARButton::clicked, this, &GroupsTab::btnClearFormGroup_Click);
    // A row is picked by the mouse, the keyboard or the code alike; a click
    // on the highlighted row loads it again once the form shows another.
    connect(lstGroups, &QListWidget::itemSelectionChanged, this, &GroupsTab::lstGroups_Click);
    connect(lstGroups, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (item->isSelected() && selectedGroupID != QString::number(RowID(item)))
            lstGroups_Click();
    });
    connect(lsvGroupPhonenumbers, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *row, int column) {
        if (!m_settingTicks && column == 0)
            lsvGroupPhonenumbers_ItemCheck(row);
    });
    connect(lsvGroupPhonenumbers->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { lsvGroupPhonenumbers_ColumnClick(column + 1); });
}

bool GroupsTab::RemoveOrphanedLinks()
{
    try {
        // IDs are never handed out again, so a link whose contact or group
        // is gone can never come back to life.
        const int removed = RunWrite(m_owner.state().connPhonebook,
                                     QStringLiteral("DELETE FROM ContactGroupLink WHERE ContactID NOT IN (SELECT ID FROM Contact) "
                                                    "OR GroupID NOT IN (SELECT ID FROM Groups)"));
        if (removed > 0)
            common::LogNote(QStringLiteral("frmMain"), QStringLiteral("RemoveOrphanedLinks"),
                            QStringLiteral("Removed %1 group membership(s) of deleted contacts or groups").arg(removed));
        return true;
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("RemoveOrphanedLinks"));
        return false;
    }
}

bool GroupsTab::InitGroups()
{
    try {
        const QSqlDatabase &db = m_owner.state().connPhonebook;
        sortGroupPhonenumbers = InitialSortColumns();
        selectedGroupID.clear();
        {
            const QScopedValueRollback quiet(m_settingTicks, true);
            RefreshListView(db, lsvGroupPhonenumbers, sortGroupPhonenumbers, RowBoxes::Clear);
        }
        RefreshListBox(db, lstGroups, GroupsQuery);
        if (lstGroups->count() > 0)
            lstGroups->setCurrentRow(0);
        RefreshCheckBoxes(db);
        return true;
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("InitGroups"));
        return false;
    }
}

void GroupsTab::RefreshGroups()
{
    const QSqlDatabase &db = m_owner.state().connPhonebook;
    RefreshListBox(db, lstGroups, GroupsQuery);
    RefreshCheckBoxes(db);
}

void GroupsTab::RefreshCheckBoxes(const QSqlDatabase &connection)
{
    // One query for the whole group, however many contacts the list holds.
    QSet<qint64> members;
    const int row = HighlightedRow(lstGroups);
    if (row >= 0) {
        QSqlQuery links = RunStatement(connection, QStringLiteral("SELECT ContactID FROM ContactGroupLink WHERE GroupID = ?"),
                                       {RowID(lstGroups->item(row))});
        while (NextRow(links))
            members.insert(links.value(0).toLongLong());
    }
    const QScopedValueRollback quiet(m_settingTicks, true);
    for (int i = 0; i < lsvGroupPhonenumbers->topLevelItemCount(); ++i) {
        QTreeWidgetItem *contact = lsvGroupPhonenumbers->topLevelItem(i);
        const Qt::CheckState state = members.contains(RowID(contact)) ? Qt::Checked : Qt::Unchecked;
        if (contact->checkState(0) != state)
            contact->setCheckState(0, state);
    }
}

void GroupsTab::SetTick(QTreeWidgetItem *row, bool ticked)
{
    const QScopedValueRollback quiet(m_settingTicks, true);
    row->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
}

void GroupsTab::SelectGroupItem(const QString &id)
{
    const int row = RowOfID(lstGroups, id);
    if (row < 0)
        return;
    lstGroups->setCurrentRow(row);
    selectedGroupID = id;
}

void GroupsTab::lstGroups_Click()
{
    try {
        const int row = HighlightedRow(lstGroups);
        if (row < 0)
            return;
        selectedGroupID = QString::number(RowID(lstGroups->item(row)));
        txtGroupName->setText(lstGroups->item(row)->text());
        RefreshCheckBoxes(m_owner.state().connPhonebook);
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("lstGroups_Click"));
    }
}

bool GroupsTab::LinkExists(qint64 groupID, qint64 contactID)
{
    QSqlQuery count = RunStatement(m_owner.state().connPhonebook,
                                   QStringLiteral("SELECT COUNT(*) FROM ContactGroupLink WHERE GroupID = ? AND ContactID = ?"),
                                   {groupID, contactID});
    return NextRow(count) && count.value(0).toLongLong() > 0;
}

void GroupsTab::lsvGroupPhonenumbers_ItemCheck(QTreeWidgetItem *row)
{
    const bool ticked = row->checkState(0) == Qt::Checked;
    const int group = HighlightedRow(lstGroups);
    if (group < 0) {
        // No group to be a member of: nothing is written.
        SetTick(row, false);
        return;
    }
    const qint64 groupID = RowID(lstGroups->item(group));
    const qint64 contactID = RowID(row);
    try {
        const QSqlDatabase &db = m_owner.state().connPhonebook;
        Transaction transaction(db);
        if (ticked) {
            // One link per membership, and only between rows that exist:
            // the contact or the group may have gone since the list was
            // filled.
            const QSqlQuery insert = RunStatement(
                db,
                QStringLiteral("INSERT INTO ContactGroupLink (GroupID, ContactID) SELECT ?, ? "
                               "WHERE EXISTS (SELECT 1 FROM Contact WHERE ID = ?) AND EXISTS (SELECT 1 FROM Groups WHERE ID = ?) "
                               "AND NOT EXISTS (SELECT 1 FROM ContactGroupLink WHERE GroupID = ? AND ContactID = ?)"),
                {groupID, contactID, contactID, groupID, groupID, contactID});
            if (insert.numRowsAffected() == 0 && !LinkExists(groupID, contactID))
                SetTick(row, false);
        } else {
            RunStatement(db, QStringLiteral("DELETE FROM ContactGroupLink WHERE GroupID = ? AND ContactID = ?"), {groupID, contactID});
        }
        transaction.Commit();
    } catch (...) {
        SetTick(row, !ticked);
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("lsvGroupPhonenumbers_ItemCheck"));
    }
}

void GroupsTab::btnAddGroup_Click()
{
    try {
        const QString name = StoredNameText(txtGroupName->text());
        if (name.isEmpty())
            return;
        RunWrite(m_owner.state().connPhonebook, QStringLiteral("INSERT INTO Groups (GroupName) VALUES (?)"), {name});
        selectedGroupID.clear();
        RefreshGroups();
    } catch (...) {
        ReportError("btnAddGroup_Click");
    }
}

void GroupsTab::btnEditGroup_Click()
{
    try {
        const QString name = StoredNameText(txtGroupName->text());
        if (selectedGroupID.isEmpty() || name.isEmpty())
            return;
        RunWrite(m_owner.state().connPhonebook, QStringLiteral("UPDATE Groups SET GroupName = ? WHERE ID = ?"),
                 {name, selectedGroupID.toLongLong()});
        const QString kept = selectedGroupID;
        selectedGroupID.clear();
        RefreshGroups();
        SelectGroupItem(kept);
    } catch (...) {
        ReportError("btnEditGroup_Click");
    }
}

void GroupsTab::btnDeleteGroup_Click()
{
    try {
        if (selectedGroupID.isEmpty())
            return;
        // The prompt names the group that is deleted.
        if (!YouWantToDelete(RowName(lstGroups, selectedGroupID)))
            return;
        const QSqlDatabase &db = m_owner.state().connPhonebook;
        const qint64 id = selectedGroupID.toLongLong();
        {
            Transaction transaction(db);
            RunStatement(db, QStringLiteral("DELETE FROM ContactGroupLink WHERE GroupID = ?"), {id});
            RunStatement(db, QStringLiteral("DELETE FROM Groups WHERE ID = ?"), {id});
            transaction.Commit();
        }
        selectedGroupID.clear();
        RefreshGroups();
        btnClearFormGroup_Click();
    } catch (...) {
        ReportError("btnDeleteGroup_Click");
    }
}

void GroupsTab::btnClearFormGroup_Click()
{
    selectedGroupID.clear();
    txtGroupName->clear();
}

void GroupsTab::lsvGroupPhonenumbers_ColumnClick(int index)
{
    try {
        if (lsvGroupPhonenumbers->topLevelItemCount() == 0)
            return;
        ShiftSortColumns(sortGroupPhonenumbers, index);
        const QSqlDatabase &db = m_owner.state().connPhonebook;
        {
            const QScopedValueRollback quiet(m_settingTicks, true);
            RefreshListView(db, lsvGroupPhonenumbers, sortGroupPhonenumbers, RowBoxes::Clear);
        }
        RefreshCheckBoxes(db);
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("lsvGroupPhonenumbers_ColumnClick"));
    }
}

void GroupsTab::ReportError(const char *procedure)
{
    common::LogError(QStringLiteral("frmMain"), QLatin1String(procedure));
    try {
        const QString kept = selectedGroupID;
        const QString typed = txtGroupName->text();
        RefreshGroups();
        if (RowOfID(lstGroups, kept) < 0) {
            selectedGroupID.clear();
            return;
        }
        SelectGroupItem(kept);
        txtGroupName->setText(typed);
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("RefreshListBox"));
    }
}
