#include "formtest.h"

#include "tabphonebook.h"

namespace {

class Phonebook : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        WriteConsoleSettings("Language=en\n");
    }

    void AddContact(const QVariant &first, const QVariant &last, const QVariant &company, const QVariant &number) const
    {
        Exec("phonebook", QStringLiteral("INSERT INTO Contact (FirstName, LastName, Company, Phonenumber) VALUES (?, ?, ?, ?)"),
             {first, last, company, number});
    }

    QList<QStringList> Stored() const
    {
        return Rows("phonebook", QStringLiteral("SELECT FirstName, LastName, Company, Phonenumber FROM Contact ORDER BY ID"));
    }

    void Fill(const QString &first, const QString &last, const QString &company, const QString &number) const
    {
        Type("txtFirstName", first);
        Type("txtLastName", last);
        Type("txtCompany", company);
        Type("txtPhonenumber", number);
    }

    bool StartOnPhonebook()
    {
        if (!Start())
            return false;
        window->optTab_Click(1);
        return true;
    }

    PhonebookTab *tab() const { return window->phonebook; }
    QTreeWidget *list() const { return Find<QTreeWidget>("lsvPhonenumber"); }
};

} // namespace

TEST_F(Phonebook, AddStoresTheTypedContactWithoutSeparatorsAndKeepsTheForm)
{
    ASSERT_TRUE(StartOnPhonebook());
    Fill(QStringLiteral("Anne--Marie"), QStringLiteral("O'Neil"), QStringLiteral("A^B|C, Ltd"), QStringLiteral("(0532) 1,2--3 x'"));
    Click("btnAddPhonenumber");
    EXPECT_EQ(Stored(), (QList<QStringList>{{QStringLiteral("AnneMarie"), QStringLiteral("O'Neil"), QStringLiteral("ABC, Ltd"),
                                             QStringLiteral("(0532) 123 x'")}}));
    EXPECT_EQ(Shown(list()), QStringList{QStringLiteral("AnneMarie/O'Neil/ABC, Ltd/(0532) 123 x'")});
    EXPECT_EQ(list()->topLevelItem(0)->data(0, Qt::UserRole).toString(), QStringLiteral("1"));
    EXPECT_TRUE(tab()->selectedPhonenumberID.isEmpty());
    EXPECT_EQ(Text("txtFirstName"), QStringLiteral("Anne--Marie"));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(Phonebook, AContactNeedsANumberAndANameOrACompany)
{
    ASSERT_TRUE(StartOnPhonebook());
    const struct {
        const char *first, *last, *company, *number;
        bool added;
    } cases[] = {
        {"", "", "", "0532", false},
        {"Ann", "Lee", "Acme", "", false},
        {"Ann", "", "", "--", false},
        {"--", "", "", "0532", false},
        {"", "", "Acme", "0533", true},
        {"", "Lee", "", "0534", true},
    };
    int expected = 0;
    for (const auto &c : cases) {
        Fill(QString::fromLatin1(c.first), QString::fromLatin1(c.last), QString::fromLatin1(c.company), QString::fromLatin1(c.number));
        Click("btnAddPhonenumber");
        expected += c.added ? 1 : 0;
        EXPECT_EQ(Stored().size(), expected) << c.first << "/" << c.last << "/" << c.company << "/" << c.number;
    }
    EXPECT_TRUE(boxes.boxes.isEmpty());
    // A company alone: the row's text is empty.
    EXPECT_EQ(Shown(list()).first(), QStringLiteral("//Acme/0533"));
}

TEST_F(Phonebook, ANumberLongerThanTheServiceSendsIsRefused)
{
    AddContact(QStringLiteral("Ann"), QStringLiteral("Lee"), QString(), QStringLiteral("0532"));
    ASSERT_TRUE(StartOnPhonebook());
    Fill(QStringLiteral("Ben"), QString(), QString(), QStringLiteral("+90532123456789012345"));
    Click("btnAddPhonenumber");
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, common::LanguageText(QStringLiteral("phonenumber_is_too_long")));
    EXPECT_FALSE(boxes.boxes[0].text.isEmpty());
    EXPECT_EQ(boxes.boxes[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(Stored().size(), 1);

    ClickRow(list(), list()->topLevelItem(0));
    Type("txtPhonenumber", QStringLiteral("123456789012345678901"));
    Click("btnEditPhonenumber");
    EXPECT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(Stored()[0][3], QStringLiteral("0532"));
    // Twenty characters, and the separators that are removed, pass.
    Type("txtPhonenumber", QStringLiteral("1234567890,1234567890"));
    Click("btnEditPhonenumber");
    EXPECT_EQ(Stored()[0][3], QStringLiteral("12345678901234567890"));
    EXPECT_EQ(boxes.boxes.size(), 2);
}

TEST_F(Phonebook, ClickingAHeaderSortsByItFirstAndForgetsTheSelection)
{
    AddContact(QStringLiteral("Cem"), QStringLiteral("Ak"), QStringLiteral("Beta"), QStringLiteral("3"));
    AddContact(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("Beta"), QStringLiteral("1"));
    AddContact(QStringLiteral("Bob"), QVariant(), QStringLiteral("Alfa"), QStringLiteral("2"));
    AddContact(QStringLiteral("Ann"), QStringLiteral("Kaya"), QStringLiteral("Alfa"), QStringLiteral("4"));
    ASSERT_TRUE(StartOnPhonebook());
    EXPECT_EQ(Shown(list()), (QStringList{QStringLiteral("Ann/Kaya/Alfa/4"), QStringLiteral("Ann/Lee/Beta/1"),
                                          QStringLiteral("Bob//Alfa/2"), QStringLiteral("Cem/Ak/Beta/3")}));
    EXPECT_FALSE(list()->isSortingEnabled());

    ClickRow(list(), list()->topLevelItem(1));
    ASSERT_EQ(tab()->selectedPhonenumberID, QStringLiteral("2"));
    ClickHeader(list(), 3);
    EXPECT_EQ(tab()->sortPhonebook,
              (SortColumns{QStringLiteral("Company"), QStringLiteral("FirstName"), QStringLiteral("LastName"), QStringLiteral("Company")}));
    EXPECT_EQ(Shown(list()), (QStringList{QStringLiteral("Ann/Kaya/Alfa/4"), QStringLiteral("Bob//Alfa/2"),
                                          QStringLiteral("Ann/Lee/Beta/1"), QStringLiteral("Cem/Ak/Beta/3")}));
    // The form still shows the contact, but Edit and Delete wait for a pick.
    EXPECT_TRUE(tab()->selectedPhonenumberID.isEmpty());
    EXPECT_EQ(Text("txtFirstName"), QStringLiteral("Ann"));
    Type("txtFirstName", QStringLiteral("Anna"));
    Click("btnEditPhonenumber");
    Click("btnDeletePhonenumber");
    EXPECT_EQ(Stored()[1][0], QStringLiteral("Ann"));
    EXPECT_EQ(Stored().size(), 4);
    EXPECT_TRUE(boxes.boxes.isEmpty());

    ClickHeader(list(), 3);
    EXPECT_EQ(tab()->sortPhonebook,
              (SortColumns{QStringLiteral("Company"), QStringLiteral("Company"), QStringLiteral("FirstName"), QStringLiteral("LastName")}));
    ClickHeader(list(), 4);
    EXPECT_EQ(Shown(list()).first(), QStringLiteral("Ann/Lee/Beta/1"));
    ClickHeader(list(), 2);
    EXPECT_EQ(Shown(list()).first(), QStringLiteral("Bob//Alfa/2"));
}

TEST_F(Phonebook, APickedContactIsEditedAndStaysSelected)
{
    AddContact(QStringLiteral("Ann"), QStringLiteral("Lee"), QStringLiteral("Acme"), QStringLiteral("0532"));
    AddContact(QStringLiteral("Ben"), QVariant(), QVariant(), QStringLiteral("0533"));
    ASSERT_TRUE(StartOnPhonebook());
    EXPECT_TRUE(Text("txtFirstName").isEmpty());
    // The keyboard picks a row as the mouse does; Null shows as "".
    ClickRow(list(), list()->topLevelItem(0));
    QTest::keyClick(list(), Qt::Key_Down);
    EXPECT_EQ(tab()->selectedPhonenumberID, QStringLiteral("2"));
    EXPECT_EQ(Text("txtFirstName"), QStringLiteral("Ben"));
    EXPECT_TRUE(Text("txtLastName").isEmpty());
    EXPECT_EQ(Text("txtPhonenumber"), QStringLiteral("0533"));

    Type("txtFirstName", QStringLiteral("Aaron"));
    Type("txtCompany", QStringLiteral("Beta"));
    Click("btnEditPhonenumber");
    EXPECT_EQ(Stored()[1], (QStringList{QStringLiteral("Aaron"), QString(), QStringLiteral("Beta"), QStringLiteral("0533")}));
    EXPECT_EQ(tab()->selectedPhonenumberID, QStringLiteral("2"));
    ASSERT_EQ(list()->selectedItems().size(), 1);
    EXPECT_EQ(list()->selectedItems()[0]->text(0), QStringLiteral("Aaron"));
    EXPECT_EQ(list()->indexOfTopLevelItem(list()->selectedItems()[0]), 0);

    Click("btnClearFormPhonenumber");
    EXPECT_TRUE(tab()->selectedPhonenumberID.isEmpty());
    EXPECT_TRUE(list()->selectedItems().isEmpty());
    for (const char *box : {"txtFirstName", "txtLastName", "txtCompany", "txtPhonenumber"})
        EXPECT_TRUE(Text(box).isEmpty()) << box;
}

TEST(ContactPrompt, NamesFirstNameLastNameAndCompanyWithSingleBlanks)
{
    const struct {
        const char *first, *last, *company, *name;
    } cases[] = {
        {"Ann", "Lee", "Acme", "Ann Lee Acme"}, {"", "", "Acme", "Acme"}, {"Ann", "", "Acme", "Ann Acme"},
        {"", "Lee", "", "Lee"}, {" Ann ", "", "", "Ann"},
    };
    for (const auto &c : cases) {
        const QTreeWidgetItem row(QStringList{QString::fromLatin1(c.first), QString::fromLatin1(c.last),
                                              QString::fromLatin1(c.company), QStringLiteral("1")});
        EXPECT_EQ(ContactPromptName(&row), QString::fromLatin1(c.name)) << c.name;
    }
}

TEST_F(Phonebook, DeleteTakesTheContactsMembershipsWithIt)
{
    AddContact(QString(), QString(), QStringLiteral("Acme"), QStringLiteral("0532"));
    AddContact(QStringLiteral("Ben"), QString(), QString(), QStringLiteral("0533"));
    Exec("phonebook", QStringLiteral("INSERT INTO Groups (GroupName) VALUES ('Team'), ('All')"));
    Exec("phonebook", QStringLiteral("INSERT INTO ContactGroupLink (GroupID, ContactID) VALUES (1, 1), (2, 1), (1, 2), (1, 1)"));
    ASSERT_TRUE(StartOnPhonebook());
    ClickRow(list(), list()->topLevelItem(0));
    ASSERT_EQ(tab()->selectedPhonenumberID, QStringLiteral("1"));

    boxes.answers << QMessageBox::No;
    Click("btnDeletePhonenumber");
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Do you want to delete Acme?"));
    EXPECT_EQ(boxes.boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(Stored().size(), 2);

    Click("btnDeletePhonenumber");
    EXPECT_EQ(Stored(), (QList<QStringList>{{QStringLiteral("Ben"), QStringLiteral("<null>"), QStringLiteral("<null>"), QStringLiteral("0533")}}));
    EXPECT_EQ(Rows("phonebook", QStringLiteral("SELECT GroupID, ContactID FROM ContactGroupLink")),
              (QList<QStringList>{{QStringLiteral("1"), QStringLiteral("2")}}));
    EXPECT_EQ(Shown(list()), QStringList{QStringLiteral("Ben///0533")});
    EXPECT_TRUE(tab()->selectedPhonenumberID.isEmpty());
    EXPECT_TRUE(Text("txtCompany").isEmpty());
}

TEST_F(Phonebook, ADeleteThatCannotBeWrittenIsReportedAndLeavesEverything)
{
    AddContact(QStringLiteral("Ann"), QString(), QString(), QStringLiteral("0532"));
    Exec("phonebook", QStringLiteral("INSERT INTO Groups (GroupName) VALUES ('Team')"));
    Exec("phonebook", QStringLiteral("INSERT INTO ContactGroupLink (GroupID, ContactID) VALUES (1, 1)"));
    ASSERT_TRUE(StartOnPhonebook());
    ClickRow(list(), list()->topLevelItem(0));
    // The database file is taken away under the open console.
    const QString path = folder.filePath(QStringLiteral("db/phonebook.db"));
    ASSERT_TRUE(QFile::rename(path, path + QStringLiteral(".away")));
    Click("btnDeletePhonenumber");
    EXPECT_EQ(ErrorBoxes(), 1);
    ASSERT_TRUE(QFile::rename(path + QStringLiteral(".away"), path));
    EXPECT_EQ(Stored().size(), 1);
    EXPECT_EQ(Value("phonebook", QStringLiteral("SELECT COUNT(*) FROM ContactGroupLink")), QStringLiteral("1"));
    EXPECT_EQ(Shown(list()), QStringList{QStringLiteral("Ann///0532")});
    EXPECT_EQ(tab()->selectedPhonenumberID, QStringLiteral("1"));
}
