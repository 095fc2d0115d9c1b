#include "formtest.h"

#include "storedtext.h"
#include "tabusers.h"

#include "common/md5.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>

TEST(StoredText, CleanStringRemovesDoubleHyphensThenDoublesQuotes)
{
    const struct {
        const char *typed;
        const char *cleaned;
        const char *stored;
    } cases[] = {
        {"a---b", "a-b", "a-b"},
        {"it's", "it''s", "it's"},
        {"Anne--Marie", "AnneMarie", "AnneMarie"},
        {"----", "", ""},
        {"'--'", "''''", "''"},
        {"a - b", "a - b", "a - b"},
        {"", "", ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(CleanString(QString::fromUtf8(c.typed)), QString::fromUtf8(c.cleaned)) << c.typed;
        EXPECT_EQ(StoredText(QString::fromUtf8(c.typed)), QString::fromUtf8(c.stored)) << c.typed;
    }
}

TEST(StoredText, NamesLoseFieldSeparatorsAndNumbersAlsoCommas)
{
    EXPECT_EQ(StoredNameText(QStringLiteral("A^B|C--D, E'F")), QStringLiteral("ABCD, E'F"));
    EXPECT_EQ(StoredPhonenumber(QStringLiteral("(0532) 1,2^3|4--5 x")), QStringLiteral("(0532) 12345 x"));
    EXPECT_FALSE(PhonenumberTooLong(QStringLiteral("+9053212345678901234")));
    EXPECT_FALSE(PhonenumberTooLong(QStringLiteral("  12345678901234567890  ")));
    EXPECT_TRUE(PhonenumberTooLong(QStringLiteral("123456789012345678901")));
}

TEST(StoredText, AUserNameHoldsEnglishLettersAndDigitsOnly)
{
    const struct {
        const char *name;
        bool valid;
    } cases[] = {
        {"", true}, {"bob", true}, {"Bob2024", true}, {"ZZaz09", true}, {"bob smith", false}, {"b_b", false},
        {"çağrı", false}, {"İbrahim", false}, {"bob'", false}, {"日本", false}, {"bob-", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsEnglishName(QString::fromUtf8(c.name)), c.valid) << c.name;
    EXPECT_TRUE(IsEmptyPassword(QStringLiteral("   ")));
    EXPECT_TRUE(IsEmptyPassword(QString()));
    EXPECT_FALSE(IsEmptyPassword(QStringLiteral(" x ")));
}

namespace {

class Users : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        WriteConsoleSettings("Language=en\n");
    }

    void AddUser(const char *name, const char *password, const char *first, const QVariant &last = QString(),
                 const QVariant &moderator = 0, const QVariant &manual = 0) const
    {
        Exec("application",
             QStringLiteral("INSERT INTO Users (UserName, UserPassword, FirstName, LastName, ModeratorAccess, ManualNumberPermission) "
                            "VALUES (?, ?, ?, ?, ?, ?)"),
             {QString::fromUtf8(name), common::PasswordDigest(QString::fromUtf8(password)), QString::fromUtf8(first), last,
              moderator, manual});
    }

    QList<QStringList> Stored() const
    {
        return Rows("application", QStringLiteral("SELECT UserName, UserPassword, FirstName, LastName, ModeratorAccess, "
                                                  "ManualNumberPermission FROM Users ORDER BY ID"));
    }

    UsersTab *tab() const { return window->users; }
    QListWidget *list() const { return Find<QListWidget>("lstUsers"); }

    // Clicks the check box on its square.
    void Tick(const char *name) const
    {
        auto *box = Find<QCheckBox>(name);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }

    void Fill(const char *name, const QString &password, const char *first, const char *last) const
    {
        Type("txtUserName", QString::fromUtf8(name));
        Type("txtUserPassword", password);
        Type("txtUserFirstName", QString::fromUtf8(first));
        Type("txtUserLastName", QString::fromUtf8(last));
    }
};

} // namespace

TEST_F(Users, StartOnAnEmptyTableLeavesTheFormEmpty)
{
    ASSERT_TRUE(Start());
    EXPECT_EQ(list()->count(), 0);
    EXPECT_TRUE(tab()->selectedUserID.isEmpty());
    EXPECT_TRUE(Text("txtUserName").isEmpty());
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(Users, StartListsUsersByNameUnsortedByTheBoxAndLoadsTheFirst)
{
    AddUser("zed", "pw", "Zeynep", QStringLiteral("Çelik"));
    AddUser("ann", "pw", "Ann", QVariant(), 2, QVariant());
    AddUser("longusername1", "pw", "Bora", QStringLiteral("Kaya"), 1, 1);
    ASSERT_TRUE(Start());
    // A Null last name makes the whole row text Null, which shows as "".
    EXPECT_EQ(Shown(list()), (QStringList{QString(), QStringLiteral("Bora Kaya"), QStringLiteral("Zeynep Çelik")}));
    EXPECT_FALSE(list()->isSortingEnabled());
    EXPECT_EQ(list()->currentRow(), 0);
    EXPECT_EQ(tab()->selectedUserID, QStringLiteral("2"));
    EXPECT_EQ(Text("txtUserName"), QStringLiteral("ann"));
    EXPECT_TRUE(Text("txtUserLastName").isEmpty());
    // 2 grants moderator access in the form; a Null grants nothing.
    EXPECT_TRUE(Find<QCheckBox>("chkUserModeratorAccess")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("chkUserManualNumberPermission")->isChecked());

    // The keyboard picks a row as the mouse does; a stored name longer than
    // the box's limit is shown whole.
    list()->setFocus();
    QTest::keyClick(list(), Qt::Key_Down);
    EXPECT_EQ(tab()->selectedUserID, QStringLiteral("3"));
    EXPECT_EQ(Text("txtUserName"), QStringLiteral("longusername1"));
    EXPECT_TRUE(Text("txtUserPassword").isEmpty());
    EXPECT_TRUE(Find<QCheckBox>("chkUserManualNumberPermission")->isChecked());
    ClickRow(list(), 2);
    EXPECT_EQ(tab()->selectedUserID, QStringLiteral("1"));
    EXPECT_EQ(Text("txtUserLastName"), QStringLiteral("Çelik"));
}

TEST_F(Users, TheBoxesKeepTheirLimitsAndThePasswordShowsStars)
{
    ASSERT_TRUE(Start());
    Fill("abcdefghijkl", QString(40, QLatin1Char('p')), "", "");
    EXPECT_EQ(Text("txtUserName"), QStringLiteral("abcdefghij"));
    EXPECT_EQ(Text("txtUserPassword").size(), 32);
    Type("txtUserFirstName", QString(40, QLatin1Char('f')));
    EXPECT_EQ(Text("txtUserFirstName").size(), 32);
    Type("txtUserPassword", QStringLiteral("abc"));
    EXPECT_EQ(Find<QLineEdit>("txtUserPassword")->displayText(), QStringLiteral("***"));
}

TEST_F(Users, AddStoresTheTypedValuesAndTheDigestOfThePasswordAsTyped)
{
    ASSERT_TRUE(Start());
    // The client digests the password exactly as typed, so must the console.
    const QString password = QStringLiteral(" it's--x ");
    Fill("bob", password, "Anne--Marie", "O'Neil");
    Tick("chkUserModeratorAccess");
    Click("btnAddUser");
    ASSERT_EQ(Stored().size(), 1);
    EXPECT_EQ(Stored()[0], (QStringList{QStringLiteral("bob"), common::PasswordDigest(password), QStringLiteral("AnneMarie"),
                                        QStringLiteral("O'Neil"), QStringLiteral("1"), QStringLiteral("0")}));
    EXPECT_EQ(Shown(list()), QStringList{QStringLiteral("AnneMarie O'Neil")});
    // Nothing highlighted, the form as typed: Edit and Delete wait for a pick.
    EXPECT_EQ(HighlightedRow(list()), -1);
    EXPECT_TRUE(tab()->selectedUserID.isEmpty());
    EXPECT_EQ(Text("txtUserFirstName"), QStringLiteral("Anne--Marie"));
    Type("txtUserFirstName", QStringLiteral("Changed"));
    Click("btnEditUser");
    EXPECT_EQ(Stored()[0][2], QStringLiteral("AnneMarie"));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(Users, AddWithoutARequiredFieldDoesNothing)
{
    ASSERT_TRUE(Start());
    const struct {
        const char *name;
        const char *password;
        const char *first;
    } cases[] = {{"", "pw", "Ann"}, {"ann", "", "Ann"}, {"ann", "   ", "Ann"}, {"ann", "pw", ""}};
    for (const auto &c : cases) {
        Fill(c.name, QString::fromLatin1(c.password), c.first, "Lee");
        Click("btnAddUser");
        EXPECT_TRUE(Stored().isEmpty()) << c.name << "/" << c.password << "/" << c.first;
    }
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(Users, ANameThatAnotherUserHasIsRefusedWhateverItsCase)
{
    AddUser("Bob", "old", "Bob");
    ASSERT_TRUE(Start());
    Click("btnClearFormUser");
    Fill("bob", QStringLiteral("new"), "Robert", "");
    Click("btnAddUser");
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes.boxes[0].text, common::LanguageText(QStringLiteral("user_name_already_exists")));
    EXPECT_FALSE(boxes.boxes[0].text.isEmpty());
    EXPECT_EQ(Stored().size(), 1);

    // Pressing Add twice adds one user.
    Type("txtUserName", QStringLiteral("rob"));
    Click("btnAddUser");
    Click("btnAddUser");
    EXPECT_EQ(Stored().size(), 2);
    EXPECT_EQ(boxes.boxes.size(), 2);
}

TEST_F(Users, EditRefusesOnlyANewNameThatIsTaken)
{
    // Two rows that already share a name, and a third user.
    AddUser("dup", "a", "Ann");
    AddUser("dup", "b", "Ben");
    AddUser("cem", "c", "Cem");
    ASSERT_TRUE(Start());
    ClickRow(list(), 0);
    ASSERT_EQ(tab()->selectedUserID, QStringLiteral("1"));

    // Keeping the shared name (in any case) mends the row.
    Type("txtUserName", QStringLiteral("DUP"));
    Type("txtUserLastName", QStringLiteral("Lee"));
    Click("btnEditUser");
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_EQ(Stored()[0].mid(2, 2), (QStringList{QStringLiteral("Ann"), QStringLiteral("Lee")}));
    EXPECT_EQ(Stored()[0][0], QStringLiteral("DUP"));

    Type("txtUserName", QStringLiteral("Cem"));
    Click("btnEditUser");
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, common::LanguageText(QStringLiteral("user_name_already_exists")));
    EXPECT_EQ(Stored()[0][0], QStringLiteral("DUP"));

    Type("txtUserName", QStringLiteral("ann"));
    Click("btnEditUser");
    EXPECT_EQ(Stored()[0][0], QStringLiteral("ann"));
    EXPECT_EQ(boxes.boxes.size(), 1);
}

TEST_F(Users, EditKeepsThePasswordUnlessOneIsTypedAndReloadsTheUser)
{
    AddUser("bob", "old", "Bob", QStringLiteral("Lee"), 5, 1);
    ASSERT_TRUE(Start());
    const QString oldDigest = Stored()[0][1];
    for (const QString &password : {QString(), QStringLiteral("   ")}) {
        Type("txtUserPassword", password);
        Click("btnEditUser");
        EXPECT_EQ(Stored()[0][1], oldDigest);
    }
    // A flag other than 0 shows ticked and is written back as 1.
    EXPECT_EQ(Stored()[0][4], QStringLiteral("1"));

    Type("txtUserFirstName", QStringLiteral("Robert"));
    Type("txtUserPassword", QStringLiteral("n'e--w"));
    Tick("chkUserManualNumberPermission");
    Click("btnEditUser");
    EXPECT_EQ(Stored()[0], (QStringList{QStringLiteral("bob"), common::PasswordDigest(QStringLiteral("n'e--w")),
                                        QStringLiteral("Robert"), QStringLiteral("Lee"), QStringLiteral("1"), QStringLiteral("0")}));
    // The edited user is highlighted again and reloaded, password box empty.
    EXPECT_EQ(tab()->selectedUserID, QStringLiteral("1"));
    EXPECT_EQ(HighlightedRow(list()), 0);
    EXPECT_EQ(Shown(list()), QStringList{QStringLiteral("Robert Lee")});
    EXPECT_TRUE(Text("txtUserPassword").isEmpty());
}

TEST_F(Users, DeleteAsksByNameAndNoChangesNothing)
{
    AddUser("bob", "pw", "Bob", QStringLiteral("Lee"));
    AddUser("cem", "pw", "Cem", QStringLiteral(""));
    ASSERT_TRUE(Start());
    boxes.answers << QMessageBox::No;
    Click("btnDeleteUser");
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Do you want to delete Bob Lee?"));
    EXPECT_EQ(boxes.boxes[0].title, QStringLiteral("Question"));
    EXPECT_EQ(boxes.boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Question);
    EXPECT_EQ(Stored().size(), 2);
    EXPECT_EQ(Text("txtUserName"), QStringLiteral("bob"));

    Click("btnDeleteUser");
    EXPECT_EQ(Rows("application", QStringLiteral("SELECT UserName FROM Users")), QList<QStringList>{{QStringLiteral("cem")}});
    EXPECT_EQ(Shown(list()), QStringList{QStringLiteral("Cem")});
    EXPECT_TRUE(tab()->selectedUserID.isEmpty());
    EXPECT_TRUE(Text("txtUserName").isEmpty());
    EXPECT_EQ(HighlightedRow(list()), -1);
    // Nothing selected: Delete does nothing.
    Click("btnDeleteUser");
    EXPECT_EQ(boxes.boxes.size(), 2);
}

TEST_F(Users, ClearEmptiesTheFormAndTheHighlight)
{
    AddUser("bob", "pw", "Bob", QStringLiteral("Lee"), 1, 1);
    ASSERT_TRUE(Start());
    Type("txtUserPassword", QStringLiteral("x"));
    Click("btnClearFormUser");
    for (const char *box : {"txtUserName", "txtUserPassword", "txtUserFirstName", "txtUserLastName"})
        EXPECT_TRUE(Text(box).isEmpty()) << box;
    EXPECT_FALSE(Find<QCheckBox>("chkUserModeratorAccess")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("chkUserManualNumberPermission")->isChecked());
    EXPECT_EQ(HighlightedRow(list()), -1);
    EXPECT_TRUE(tab()->selectedUserID.isEmpty());
    ClickRow(list(), 0);
    EXPECT_EQ(Text("txtUserName"), QStringLiteral("bob"));
}

TEST_F(Users, TheNameBoxTakesOnlyEnglishLettersAndDigitsFromTheKeyboard)
{
    ASSERT_TRUE(Start());
    auto *name = Find<QLineEdit>("txtUserName");
    name->setFocus();
    for (const QChar c : QStringLiteral("ab c_ç-1ıZ"))
        QTest::sendKeyEvent(QTest::Click, name, Qt::Key_unknown, QString(c), Qt::NoModifier);
    EXPECT_EQ(Text("txtUserName"), QStringLiteral("abc1Z"));
    QTest::keyClick(Find<QLineEdit>("txtUserName"), Qt::Key_Backspace);
    EXPECT_EQ(Text("txtUserName"), QStringLiteral("abc1"));
}

TEST_F(Users, APastedBadNameIsRefusedOnLeavingTheBoxAndByAddAndEdit)
{
    AddUser("bob", "pw", "Bob");
    ASSERT_TRUE(Start());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto *name = Find<QLineEdit>("txtUserName");
    name->setFocus();
    name->selectAll();
    QApplication::clipboard()->setText(QStringLiteral("bo b"));
    QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(name->text(), QStringLiteral("bo b"));

    // Moving on to another field warns once and keeps the focus in the box.
    QTest::mouseClick(Find<QLineEdit>("txtUserFirstName"), Qt::LeftButton);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, common::LanguageText(QStringLiteral("use_only_english_characters_and_no_space")));
    EXPECT_EQ(boxes.boxes[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(QTest::qWaitFor([&] { return name->hasFocus(); }, 5000));
    EXPECT_EQ(boxes.boxes.size(), 1);

    // Add and Edit check the name themselves; nothing is written.
    Find<QLineEdit>("txtUserPassword")->setText(QStringLiteral("pw"));
    Click("btnEditUser");
    name->setText(QStringLiteral("ann!"));
    Click("btnAddUser");
    EXPECT_EQ(boxes.boxes.size(), 3);
    EXPECT_EQ(Rows("application", QStringLiteral("SELECT UserName FROM Users")), QList<QStringList>{{QStringLiteral("bob")}});

    // Minimizing or choosing another tab does not ask.
    name->setFocus();
    QTest::keyClick(name, Qt::Key_Escape);
    EXPECT_TRUE(window->isMinimized());
    window->showNormal();
    name->setFocus();
    QTest::mouseClick(Find<QWidget>("optTab(1)"), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(boxes.boxes.size(), 3);
    EXPECT_FALSE(Find<QWidget>("frmTabs(0)")->isVisible());
}

TEST_F(Users, AFailedEditIsReportedAndChangesNothing)
{
    AddUser("bob", "old", "Bob", QStringLiteral("Lee"));
    ASSERT_TRUE(Start());
    Type("txtUserFirstName", QStringLiteral("Robert"));
    Type("txtUserPassword", QStringLiteral("new"));
    // Another writer holds the database past the busy time-out.
    const QString holder = QStringLiteral("test.holder");
    QSqlDatabase other = OpenDatabaseFile(holder, folder.filePath(QStringLiteral("db/application.db")));
    RunStatement(other, QStringLiteral("BEGIN IMMEDIATE"));
    Click("btnEditUser");
    RunStatement(other, QStringLiteral("ROLLBACK"));
    CloseDatabaseFile(other, holder);

    EXPECT_EQ(ErrorBoxes(), 1);
    EXPECT_TRUE(BoxesTitled(QStringLiteral("Error"))[0].text.contains(QStringLiteral("btnEditUser_Click")));
    EXPECT_EQ(Stored()[0], (QStringList{QStringLiteral("bob"), common::PasswordDigest(QStringLiteral("old")), QStringLiteral("Bob"),
                                        QStringLiteral("Lee"), QStringLiteral("0"), QStringLiteral("0")}));
    // The form keeps what was typed, on the same user: Edit works again.
    EXPECT_EQ(Text("txtUserFirstName"), QStringLiteral("Robert"));
    EXPECT_EQ(tab()->selectedUserID, QStringLiteral("1"));
    EXPECT_EQ(HighlightedRow(list()), 0);
    Click("btnEditUser");
    EXPECT_EQ(Stored()[0][1], common::PasswordDigest(QStringLiteral("new")));
    EXPECT_EQ(Stored()[0][2], QStringLiteral("Robert"));
}

TEST_F(Users, ABadNameInTheBoxDoesNotHoldUpQuitting)
{
    ASSERT_TRUE(Start());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto *name = Find<QLineEdit>("txtUserName");
    name->setFocus();
    name->setText(QStringLiteral("bad name"));
    Click("btnQuit");
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(boxes.boxes.isEmpty());
}
