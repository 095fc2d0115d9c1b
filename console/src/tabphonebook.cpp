#include "tabphonebook.h"

#include "controls.h"
#include "frmmain.h"
#include "storedtext.h"

#include "common/errorlog.h"
#include "common/language.h"
#include "gui/arbutton.h"
#include "gui/msgbox.h"
#include "store/databasefiles.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>

QTreeWidget *PlaceContactList(QWidget *parent, const char *name, int left, int top, int width, int height)
{
    auto *list = Place<QTreeWidget>(parent, name, left, top, width, height);
    list->setColumnCount(4);
    list->setRootIsDecorated(false);
    list->setAllColumnsShowFocus(true);
    list->setUniformRowHeights(true);
    list->setSortingEnabled(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setHeaderLabels({QString(), QString(), QString(), QString()});
    list->header()->setSectionsClickable(true);
    list->header()->setSortIndicatorShown(false);
    // All four columns in view, so the phone number never hides behind a
    // sideways scroll bar in the narrower list of the groups tab.
    SizeNumberListColumns(list);
    return list;
}

QString ContactPromptName(const QTreeWidgetItem *row)
{
    return (((row->text(0) + QLatin1Char(' ') + row->text(1)).trimmed()) + QLatin1Char(' ') + row->text(2)).trimmed();
}

QTreeWidgetItem *ContactRow(const QTreeWidget *list, const QString &id)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->data(0, Qt::UserRole).toString() == id)
            return list->topLevelItem(i);
    return nullptr;
}

PhonebookTab::PhonebookTab(frmMain &owner) : QFrame(&owner), m_owner(owner)
{
    lsvPhonenumber = PlaceContactList(this, "lsvPhonenumber", 10, 10, 541, 150);

    lblFirstName = Place<QLabel>(this, "lblFirstName", 10, 172, 110, 20);
    txtFirstName = Place<QLineEdit>(this, "txtFirstName", 125, 170, 150, 22);
    lblLastName = Place<QLabel>(this, "lblLastName", 285, 172, 122, 20);
    txtLastName = Place<QLineEdit>(this, "txtLastName", 412, 170, 139, 22);
    lblCompany = Place<QLabel>(this, "lblCompany", 10, 200, 110, 20);
    txtCompany = Place<QLineEdit>(this, "txtCompany", 125, 198, 150, 22);
    lblPhonenumber = Place<QLabel>(this, "lblPhonenumber", 285, 200, 122, 20);
    txtPhonenumber = Place<QLineEdit>(this, "txtPhonenumber", 412, 198, 139, 22);

    btnAddPhonenumber = Place<gui::ARButton>(this, "btnAddPhonenumber", 10, 240, 130, 28);
    btnEditPhonenumber = Place<gui::ARButton>(this, "btnEditPhonenumber", 147, 240, 130, 28);
    btnDeletePhonenumber = Place<gui::ARButton>(this, "btnDeletePhonenumber", 284, 240, 130, 28);
    btnClearFormPhonenumber = Place<gui::ARButton>(this, "btnClearFormPhonenumber", 421, 240, 130, 28);

    connect(btnAddPhonenumber, &gui::ARButton::clicked, this, &PhonebookTab::btnAddPhonenumber_Click);
    connect(btnEditPhonenumber, &gui::ARButton::clicked, this, &PhonebookTab::btnEditPhonenumber_Click);
    connect(btnDeletePhonenumber, &gui::ARButton::clicked, this, &PhonebookTab::btnDeletePhonenumber_Click);
    connect(btnClearFormPhonenumber, &gui::ARButton::clicked, this, &PhonebookTab::btnClearFormPhonenumber_Click);
    // The keyboard picks a row as a click does.
    connect(lsvPhonenumber, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (!m_selecting)
            lsvPhonenumber_Click();
    });
    connect(lsvPhonenumber, &QTreeWidget::itemClicked, this, &PhonebookTab::lsvPhonenumber_Click);
    connect(lsvPhonenumber->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { lsvPhonenumber_ColumnClick(column + 1); });
}

bool PhonebookTab::InitPhonebook()
{
    try {
        sortPhonebook = InitialSortColumns();
        selectedPhonenumberID.clear();
        RefreshContacts();
        return true;
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("InitPhonebook"));
        return false;
    }
}

void PhonebookTab::RefreshContacts()
{
    RefreshListView(m_owner.state().connPhonebook, lsvPhonenumber, sortPhonebook);
}

void PhonebookTab::SelectPhonebookItem(const QString &id)
{
    QTreeWidgetItem *row = ContactRow(lsvPhonenumber, id);
    if (!row)
        return;
    m_selecting = true;
    lsvPhonenumber->setCurrentItem(row);
    m_selecting = false;
    selectedPhonenumberID = id;
}

std::optional<PhonebookTab::Contact> PhonebookTab::FormContact()
{
    Contact contact{StoredNameText(txtFirstName->text()), StoredNameText(txtLastName->text()),
                    StoredNameText(txtCompany->text()), StoredPhonenumber(txtPhonenumber->text())};
    if (contact.phonenumber.isEmpty() || (contact.firstName.isEmpty() && contact.lastName.isEmpty() && contact.company.isEmpty()))
        return std::nullopt;
    if (PhonenumberTooLong(contact.phonenumber)) {
        gui::MsgBox(QStringLiteral("phonenumber_is_too_long"), gui::vbExclamation, QStringLiteral("warning"));
        txtPhonenumber->setFocus(Qt::OtherFocusReason);
        return std::nullopt;
    }
    return contact;
}

void PhonebookTab::btnAddPhonenumber_Click()
{
    try {
        const std::optional<Contact> contact = FormContact();
        if (!contact)
            return;
        RunWrite(m_owner.state().connPhonebook,
                 QStringLiteral("INSERT INTO Contact (FirstName, LastName, Company, Phonenumber) VALUES (?, ?, ?, ?)"),
                 {contact->firstName, contact->lastName, contact->company, contact->phonenumber});
        selectedPhonenumberID.clear();
        RefreshContacts();
    } catch (...) {
        ReportError("btnAddPhonenumber_Click");
    }
}

void PhonebookTab::btnEditPhonenumber_Click()
{
    try {
        if (selectedPhonenumberID.isEmpty())
            return;
        const std::optional<Contact> contact = FormContact();
        if (!contact)
            return;
        RunWrite(m_owner.state().connPhonebook,
                 QStringLiteral("UPDATE Contact SET FirstName = ?, LastName = ?, Company = ?, Phonenumber = ? WHERE ID = ?"),
                 {contact->firstName, contact->lastName, contact->company, contact->phonenumber, selectedPhonenumberID.toLongLong()});
        const QString kept = selectedPhonenumberID;
        selectedPhonenumberID.clear();
        RefreshContacts();
        SelectPhonebookItem(kept);
    } catch (...) {
        ReportError("btnEditPhonenumber_Click");
    }
}

void PhonebookTab::btnDeletePhonenumber_Click()
{
    try {
        if (selectedPhonenumberID.isEmpty())
            return;
        // The prompt names the contact that is deleted.
        const QTreeWidgetItem *row = ContactRow(lsvPhonenumber, selectedPhonenumberID);
        if (!YouWantToDelete(row ? ContactPromptName(row) : QString()))
            return;
        const QSqlDatabase &db = m_owner.state().connPhonebook;
        const qint64 id = selectedPhonenumberID.toLongLong();
        {
            // Its memberships go with it: a link to a missing contact makes
            // the service refuse every send to that group.
            Transaction transaction(db);
            RunStatement(db, QStringLiteral("DELETE FROM ContactGroupLink WHERE ContactID = ?"), {id});
            RunStatement(db, QStringLiteral("DELETE FROM Contact WHERE ID = ?"), {id});
            transaction.Commit();
        }
        selectedPhonenumberID.clear();
        RefreshContacts();
        btnClearFormPhonenumber_Click();
    } catch (...) {
        ReportError("btnDeletePhonenumber_Click");
    }
}

void PhonebookTab::btnClearFormPhonenumber_Click()
{
    selectedPhonenumberID.clear();
    for (QLineEdit *box : {txtFirstName, txtLastName, txtCompany, txtPhonenumber})
        box->clear();
    lsvPhonenumber->clearSelection();
}

void PhonebookTab::lsvPhonenumber_Click()
{
    const QList<QTreeWidgetItem *> selected = lsvPhonenumber->selectedItems();
    if (selected.isEmpty())
        return;
    const QTreeWidgetItem *row = selected.first();
    selectedPhonenumberID = row->data(0, Qt::UserRole).toString();
    txtFirstName->setText(row->text(0));
    txtLastName->setText(row->text(1));
    txtCompany->setText(row->text(2));
    txtPhonenumber->setText(row->text(3));
}

void PhonebookTab::lsvPhonenumber_ColumnClick(int index)
{
    try {
        ShiftSortColumns(sortPhonebook, index);
        selectedPhonenumberID.clear();
        RefreshContacts();
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("lsvPhonenumber_ColumnClick"));
    }
}

void PhonebookTab::ReportError(const char *procedure)
{
    common::LogError(QStringLiteral("frmMain"), QLatin1String(procedure));
    try {
        m_selecting = true;
        RefreshContacts();
        m_selecting = false;
        if (QTreeWidgetItem *row = ContactRow(lsvPhonenumber, selectedPhonenumberID)) {
            SelectPhonebookItem(selectedPhonenumberID);
            lsvPhonenumber->scrollToItem(row);
        } else {
            selectedPhonenumberID.clear();
        }
    } catch (...) {
        m_selecting = false;
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("RefreshListView"));
    }
}
