#include "tabphonebook.h"

#include "controls.h"
#include "frmmain.h"
#include "gui/arbutton.h"

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
    list->setHeaderLabels({QString(), QString(), QString(), QString()});
    return list;
}

PhonebookTab::PhonebookTab(frmMain &owner) : QFrame(&owner)
{
    lsvPhonenumber = PlaceContactList(this, "lsvPhonenumber", 10, 10, 541, 150);
    lsvPhonenumber->header()->setSectionsClickable(true);

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
}

void PhonebookTab::InitPhonebook()
{
}
