#include "tabgroups.h"

#include "controls.h"
#include "frmmain.h"
#include "gui/arbutton.h"
#include "tabphonebook.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>

GroupsTab::GroupsTab(frmMain &owner) : QFrame(&owner)
{
    lblGroups = Place<QLabel>(this, "lblGroups", 10, 8, 220, 16);
    lstGroups = Place<QListWidget>(this, "lstGroups", 10, 26, 220, 122);
    lblGroupName = Place<QLabel>(this, "lblGroupName", 10, 154, 220, 18);
    txtGroupName = Place<QLineEdit>(this, "txtGroupName", 10, 174, 220, 22);
    btnAddGroup = Place<gui::ARButton>(this, "btnAddGroup", 10, 206, 107, 36);
    btnEditGroup = Place<gui::ARButton>(this, "btnEditGroup", 123, 206, 107, 36);
    btnDeleteGroup = Place<gui::ARButton>(this, "btnDeleteGroup", 10, 248, 107, 36);
    btnClearFormGroup = Place<gui::ARButton>(this, "btnClearFormGroup", 123, 248, 107, 36);

    lblPhonenumbers = Place<QLabel>(this, "lblPhonenumbers", 245, 8, 306, 16);
    lsvGroupPhonenumbers = PlaceContactList(this, "lsvGroupPhonenumbers", 245, 26, 306, 262);
}

void GroupsTab::InitGroups()
{
}
