#include "formtest.h"

#include "tabgroups.h"

#include "ownerrorlog.h"
#include "text.h"

#include <QScrollBar>

namespace {

class Groups : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        WriteConsoleSettings("Language=en\n");
        Exec("phonebook", QStringLiteral("INSERT INTO Contact (FirstName, LastName, Company, Phonenumber) VALUES "
                                         "('Ann', 'Lee', 'Acme', '01'), ('Ben', 'Ak', 'Beta', '02'), ('Cem', 'Su', 'Acme', '03')"));
    }

    QList<QStringList> Links() const
    {
        return Rows("phonebook", QStringLiteral("SELECT GroupID, ContactID FROM ContactGroupLink ORDER BY GroupID, ContactID"));
    }

    bool StartOnGroups()
    {
        if (!Start())
            return false;
        QTest::mouseClick(Find<QWidget>("optTab(2)"), Qt::LeftButton);
        return true;
    }

    // The first names of the ticked rows, in list order.
    QStringList Ticked() const
    {
        QStringList names;
        for (int i = 0; i < members()->topLevelItemCount(); ++i)
            if (members()->topLevelItem(i)->checkState(0) == Qt::Checked)
                names << members()->topLevelItem(i)->text(0);
        return names;
    }

    QTreeWidgetItem *Member(const char *firstName) const
    {
        return members()->findItems(QString::fromLatin1(firstName), Qt::MatchExactly, 0).value(0);
    }

    GroupsTab *tab() const { return window->groups; }
    QListWidget *groups() const { return Find<QListWidget>("lstGroups"); }
    QTreeWidget *members() const { return Find<QTreeWidget>("lsvGroupPhonenumbers"); }
};

const QStringList None;

} // namespace

TEST_F(Groups, TheTabShowsTheFirstGroupWithItsMembersTicked)
{
    Exec("phonebook", QStringLiteral("INSERT INTO Groups (GroupName) VALUES ('Team'), ('All')"));
    Exec("phonebook", QStringLiteral("INSERT INTO ContactGroupLink (GroupID, ContactID) VALUES (1, 3), (2, 1), (2, 2)"));
    ASSERT_TRUE(StartOnGroups());
    EXPECT_EQ(Shown(groups()), (QStringList{QStringLiteral("All"), QStringLiteral("Team")}));
    EXPECT_EQ(HighlightedRow(groups()), 0);
    EXPECT_EQ(tab()->selectedGroupID, QStringLiteral("2"));
    EXPECT_EQ(Text("txtGroupName"), QStringLiteral("All"));
    EXPECT_EQ(Ticked(), (QStringList{QStringLiteral("Ann"), QStringLiteral("Ben")}));
    // Picking a group with the mouse or the keyboard sets the ticks and
    // writes nothing.
    ClickRow(groups(), 1);
    EXPECT_EQ(Ticked(), QStringList{QStringLiteral("Cem")});
    EXPECT_EQ(Text("txtGroupName"), QStringLiteral("Team"));
    QTest::keyClick(groups(), Qt::Key_Up);
    EXPECT_EQ(tab()->selectedGroupID, QStringLiteral("2"));
    EXPECT_EQ(Ticked(), (QStringList{QStringLiteral("Ann"), QStringLiteral("Ben")}));
    EXPECT_EQ(Links().size(), 3);

    // Sorting the members keeps the ticks; the tab's next choice resets it.
    ClickHeader(members(), 3);
    EXPECT_EQ(Shown(members()).first(), QStringLiteral("Ann/Lee/Acme/01"));
    EXPECT_EQ(tab()->sortGroupPhonenumbers[0], QStringLiteral("Company"));
    ClickHeader(members(), 2);
    EXPECT_EQ(Shown(members()), (QStringList{QStringLiteral("Ben/Ak/Beta/02"), QStringLiteral("Ann/Lee/Acme/01"),
                                             QStringLiteral("Cem/Su/Acme/03")}));
    EXPECT_EQ(Ticked(), (QStringList{QStringLiteral("Ben"), QStringLiteral("Ann")}));
    EXPECT_EQ(tab()->selectedGroupID, QStringLiteral("2"));
    QTest::mouseClick(Find<QWidget>("optTab(2)"), Qt::LeftButton);
    EXPECT_EQ(tab()->sortGroupPhonenumbers, InitialSortColumns());
    EXPECT_EQ(Links().size(), 3);
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(Groups, ATickWritesOneLinkAndClearingRemovesEveryCopy)
{
    Exec("phonebook", QStringLiteral("INSERT INTO Groups (GroupName) VALUES ('Team')"));
    Exec("phonebook", QStringLiteral("INSERT INTO ContactGroupLink (GroupID, ContactID) VALUES (1, 2), (1, 2)"));
    ASSERT_TRUE(StartOnGroups());
    ClickBox(members(), Member("Ann"));
    EXPECT_EQ(Ticked(), (QStringList{QStringLiteral("Ann"), QStringLiteral("Ben")}));
    EXPECT_EQ(Links(), (QList<QStringList>{{QStringLiteral("1"), QStringLiteral("1")},
                                          {QStringLiteral("1"), QStringLiteral("2")},
                                          {QStringLiteral("1"), QStringLiteral("2")}}));
    ClickBox(members(), Member("Ben"));
    EXPECT_EQ(Ticked(), QStringList{QStringLiteral("Ann")});
    EXPECT_EQ(Links(), (QList<QStringList>{{QStringLiteral("1"), QStringLiteral("1")}}));

    // After Clear the highlighted group still takes the ticks.
    Click("btnClearFormGroup");
    EXPECT_TRUE(tab()->selectedGroupID.isEmpty());
    EXPECT_TRUE(Text("txtGroupName").isEmpty());
    EXPECT_EQ(HighlightedRow(groups()), 0);
    ClickBox(members(), Member("Cem"));
    EXPECT_EQ(Links(), (QList<QStringList>{{QStringLiteral("1"), QStringLiteral("1")}, {QStringLiteral("1"), QStringLiteral("3")}}));
    // A click on the highlighted row loads it again.
    ClickRow(groups(), 0);
    EXPECT_EQ(tab()->selectedGroupID, QStringLiteral("1"));
    EXPECT_EQ(Text("txtGroupName"), QStringLiteral("Team"));
}

TEST_F(Groups, ATickForAContactDeletedMeanwhileIsTakenBack)
{
    Exec("phonebook", QStringLiteral("INSERT INTO Groups (GroupName) VALUES ('Team')"));
    ASSERT_TRUE(StartOnGroups());
    // Deleted on the phone-book tab after the members list was filled.
    window->optTab_Click(1);
    auto *contacts = Find<QTreeWidget>("lsvPhonenumber");
    ClickRow(contacts, contacts->topLevelItem(0));
    Click("btnDeletePhonenumber");
    ASSERT_EQ(Value("phonebook", QStringLiteral("SELECT COUNT(*) FROM Contact")), QStringLiteral("2"));
    window->frmTabs[1]->hide();
    window->frmTabs[2]->show();
    ClickBox(members(), Member("Ann"));
    EXPECT_EQ(Ticked(), None);
    EXPECT_TRUE(Links().isEmpty());
}

TEST_F(Groups, WithoutAHighlightedGroupEveryBoxIsClearAndTicksAreTakenBack)
{
    Exec("phonebook", QStringLiteral("INSERT INTO Groups (GroupName) VALUES ('Team')"));
    Exec("phonebook", QStringLiteral("INSERT INTO ContactGroupLink (GroupID, ContactID) VALUES (1, 1)"));
    ASSERT_TRUE(StartOnGroups());
    ASSERT_EQ(Ticked(), QStringList{QStringLiteral("Ann")});
    Type("txtGroupName", QStringLiteral("O'Neil ^Team|--"));
    Click("btnAddGroup");
    EXPECT_EQ(Rows("phonebook", QStringLiteral("SELECT GroupName FROM Groups ORDER BY ID")),
              (QList<QStringList>{{QStringLiteral("Team")}, {QStringLiteral("O'Neil Team")}}));
    EXPECT_EQ(Shown(groups()), (QStringList{QStringLiteral("O'Neil Team"), QStringLiteral("Team")}));
    EXPECT_EQ(HighlightedRow(groups()), -1);
    EXPECT_TRUE(tab()->selectedGroupID.isEmpty());
    EXPECT_EQ(Ticked(), None);
    ClickBox(members(), Member("Ben"));
    EXPECT_EQ(Ticked(), None);
    EXPECT_EQ(Links().size(), 1);
    // Edit and Delete wait for a pick.
    Click("btnEditGroup");
    Click("btnDeleteGroup");
    EXPECT_EQ(Shown(groups()).size(), 2);
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(Groups, WithoutGroupsEveryTickIsTakenBackAndTheNameStays)
{
    ASSERT_TRUE(Start());
    Find<QLineEdit>("txtGroupName")->setText(QStringLiteral("typed"));
    QTest::mouseClick(Find<QWidget>("optTab(2)"), Qt::LeftButton);
    EXPECT_EQ(Text("txtGroupName"), QStringLiteral("typed"));
    EXPECT_EQ(members()->topLevelItemCount(), 3);
    ClickBox(members(), Member("Cem"));
    EXPECT_EQ(Ticked(), None);
    EXPECT_TRUE(Links().isEmpty());
}

TEST_F(Groups, EditRenamesAndReloadsTheGroup)
{
    Exec("phonebook", QStringLiteral("INSERT INTO Groups (GroupName) VALUES ('Alpha'), ('Beta')"));
    Exec("phonebook", QStringLiteral("INSERT INTO ContactGroupLink (GroupID, ContactID) VALUES (1, 2)"));
    ASSERT_TRUE(StartOnGroups());
    Type("txtGroupName", QStringLiteral("Zed's"));
    Click("btnEditGroup");
    EXPECT_EQ(Value("phonebook", QStringLiteral("SELECT GroupName FROM Groups WHERE ID = 1")), QStringLiteral("Zed's"));
    EXPECT_EQ(Shown(groups()), (QStringList{QStringLiteral("Beta"), QStringLiteral("Zed's")}));
    EXPECT_EQ(HighlightedRow(groups()), 1);
    EXPECT_EQ(tab()->selectedGroupID, QStringLiteral("1"));
    EXPECT_EQ(Ticked(), QStringList{QStringLiteral("Ben")});
    // A name of "--" alone is no name.
    Type("txtGroupName", QStringLiteral("--"));
    Click("btnEditGroup");
    Click("btnAddGroup");
    EXPECT_EQ(Value("phonebook", QStringLiteral("SELECT COUNT(*) FROM Groups WHERE GroupName = 'Zed''s'")), QStringLiteral("1"));
    EXPECT_EQ(Shown(groups()).size(), 2);
}

TEST_F(Groups, DeleteAsksByNameAndTakesTheGroupsLinksWithIt)
{
    Exec("phonebook", QStringLiteral("INSERT INTO Groups (GroupName) VALUES ('  Team  '), ('Zoo')"));
    Exec("phonebook", QStringLiteral("INSERT INTO ContactGroupLink (GroupID, ContactID) VALUES (1, 1), (1, 2), (2, 1)"));
    ASSERT_TRUE(StartOnGroups());
    ASSERT_EQ(tab()->selectedGroupID, QStringLiteral("1"));
    boxes.answers << QMessageBox::No;
    Click("btnDeleteGroup");
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Do you want to delete Team?"));
    EXPECT_EQ(boxes.boxes[0].title, QStringLiteral("Question"));
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Question);
    EXPECT_EQ(Links().size(), 3);

    Click("btnDeleteGroup");
    EXPECT_EQ(Rows("phonebook", QStringLiteral("SELECT GroupName FROM Groups")), QList<QStringList>{{QStringLiteral("Zoo")}});
    EXPECT_EQ(Links(), (QList<QStringList>{{QStringLiteral("2"), QStringLiteral("1")}}));
    EXPECT_EQ(HighlightedRow(groups()), -1);
    EXPECT_TRUE(Text("txtGroupName").isEmpty());
    EXPECT_EQ(Ticked(), None);
}

TEST_F(Groups, StartUpRemovesOnlyLinksWhoseContactOrGroupIsGone)
{
    Exec("phonebook", QStringLiteral("INSERT INTO Groups (GroupName) VALUES ('Team'), ('Gone')"));
    Exec("phonebook", QStringLiteral("DELETE FROM Groups WHERE ID = 2"));
    Exec("phonebook", QStringLiteral("INSERT INTO ContactGroupLink (GroupID, ContactID) VALUES (1, 1), (1, 9), (2, 1), (1, 3)"));
    const QString log = ErrorLogPath();
    QFile::remove(log);
    ASSERT_TRUE(Start());
    EXPECT_EQ(Links(), (QList<QStringList>{{QStringLiteral("1"), QStringLiteral("1")}, {QStringLiteral("1"), QStringLiteral("3")}}));
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("Removed 2 group membership(s)"));
    EXPECT_TRUE(boxes.boxes.isEmpty());
    file.close();
    QFile::remove(log);
}

TEST_F(Groups, ATickThatCannotBeWrittenIsReportedAndTakenBack)
{
    Exec("phonebook", QStringLiteral("INSERT INTO Groups (GroupName) VALUES ('Team')"));
    ASSERT_TRUE(StartOnGroups());
    const QString path = folder.filePath(QStringLiteral("db/phonebook.db"));
    ASSERT_TRUE(QFile::rename(path, path + QStringLiteral(".away")));
    ClickBox(members(), Member("Ben"));
    ASSERT_TRUE(QFile::rename(path + QStringLiteral(".away"), path));
    EXPECT_EQ(ErrorBoxes(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.contains(QStringLiteral("lsvGroupPhonenumbers_ItemCheck")));
    EXPECT_EQ(Ticked(), None);
    EXPECT_TRUE(Links().isEmpty());
}

// Numbers of 20 characters show whole beside the names; a name or company
// that is still cut shows whole in a tool tip, and a whole one shows none.
TEST_F(Groups, TheMembersShowTheirNumbersWholeAndCutTextsInATip)
{
    const QString first = S(u"Gülizar Şükriye");
    const QString last = S(u"Çağlayangil-Küçükosmanoğlu");
    const QString company = S(u"Güneydoğu Anadolu Tekstil Sanayi");
    Exec("phonebook", S(u"INSERT INTO Contact (FirstName, LastName, Company, Phonenumber) VALUES "
                        "('%1', '%2', '%3', '+90 (532) 123-45-678'), ('Ali', 'Su', 'Öz', '+9053212345678901234')")
                          .arg(first, last, company));
    ASSERT_TRUE(StartOnGroups());
    QTreeWidgetItem *longNames = members()->findItems(first, Qt::MatchExactly, 0).value(0);
    QTreeWidgetItem *ali = Member("Ali");
    ASSERT_TRUE(longNames && ali);
    EXPECT_EQ(members()->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(ToolTipOver(members(), members()->indexOfTopLevelItem(longNames), 3), QString());
    EXPECT_EQ(ToolTipOver(members(), members()->indexOfTopLevelItem(ali), 3), QString());
    EXPECT_EQ(ToolTipOver(members(), members()->indexOfTopLevelItem(longNames), 0), first);
    EXPECT_EQ(ToolTipOver(members(), members()->indexOfTopLevelItem(longNames), 1), last);
    EXPECT_EQ(ToolTipOver(members(), members()->indexOfTopLevelItem(longNames), 2), company);
    EXPECT_EQ(ToolTipOver(members(), members()->indexOfTopLevelItem(ali), 1), QString());
}
