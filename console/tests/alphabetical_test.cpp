// The console's lists in the order of the Turkish alphabet, case ignored:
// users, contacts with every column sort and its shift, groups and a
// group's members, as the window shows them.
#include "formtest.h"

#include "text.h"

namespace {

// Contact 8 repeats contact 2; contacts 3 and 5, and 3 and 4 by company,
// differ in case alone.
const char16_t *const Contacts[][4] = {
    {u"Zeynep", u"Kaya", u"Şahin Gıda", u"0532 7"}, {u"Çağrı", u"Yıldız", u"IŞIK LOJİSTİK", u"0532 3"},
    {u"İbrahim", u"Öztürk", u"Acme", u"0532 1"},    {u"Işık", u"Çelik", u"acme", u"0532 9"},
    {u"ibrahim", u"Aydın", u"Ilıca", u"0532 5"},    {u"Gülşen", u"Ünal", u"Çınar", u"0532 2"},
    {u"Irmak", u"Doğan", u"Öz Ticaret", u"0532 4"}, {u"Çağrı", u"Yıldız", u"IŞIK LOJİSTİK", u"0532 3"},
};

class Alphabetical : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        WriteConsoleSettings("Language=tr\n");
        for (const auto &c : Contacts)
            Exec("phonebook", QStringLiteral("INSERT INTO Contact (FirstName, LastName, Company, Phonenumber) VALUES (?, ?, ?, ?)"),
                 {S(c[0]), S(c[1]), S(c[2]), S(c[3])});
    }

    // The contact IDs of a list's rows, after checking that each row shows
    // its contact.
    static QList<int> ContactIDs(const QTreeWidget *list)
    {
        QList<int> ids;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = list->topLevelItem(i);
            const int id = static_cast<int>(RowID(item));
            EXPECT_GE(id, 1);
            EXPECT_LE(id, 8);
            if (id < 1 || id > 8)
                continue;
            for (int column = 0; column < 4; ++column)
                EXPECT_EQ(item->text(column), S(Contacts[id - 1][column])) << "row " << i;
            ids << id;
        }
        return ids;
    }

    static QList<int> IDs(const QListWidget *list)
    {
        QList<int> ids;
        for (int i = 0; i < list->count(); ++i)
            ids << static_cast<int>(RowID(list->item(i)));
        return ids;
    }

    // The order before any click: first name, then last name, company and
    // number, then the ID.
    const QList<int> byFirstName{2, 8, 6, 7, 4, 5, 3, 1};
};

} // namespace

TEST_F(Alphabetical, ThePhonebookListFollowsTheAlphabetInEveryColumnSortAndItsShift)
{
    ASSERT_TRUE(Start());
    window->optTab_Click(1);
    QTreeWidget *list = Find<QTreeWidget>("lsvPhonenumber");
    EXPECT_EQ(ContactIDs(list), byFirstName);
    const struct {
        int column;
        QList<int> ids;
    } clicks[] = {
        // Company, FirstName, LastName, Company: "Acme" and "acme" tie, and
        // Işık comes before İbrahim.
        {3, {4, 3, 6, 5, 2, 8, 7, 1}},
        // FirstName, Company, FirstName, LastName: the two İbrahims now go
        // by their companies.
        {1, {2, 8, 6, 7, 4, 3, 5, 1}},
        // Phonenumber, FirstName, Company, FirstName.
        {4, {3, 6, 2, 8, 7, 5, 1, 4}},
        // LastName, Phonenumber, FirstName, Company.
        {2, {5, 4, 7, 1, 3, 6, 2, 8}},
    };
    for (const auto &click : clicks) {
        ClickHeader(list, click.column);
        EXPECT_EQ(ContactIDs(list), click.ids) << "after a click on column " << click.column;
    }
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(Alphabetical, TheGroupsAndAGroupsMembersFollowTheAlphabet)
{
    const char16_t *const groups[] = {u"Şube", u"çağrı merkezi", u"İstanbul", u"ışık ekibi", u"Ankara", u"Irmak", u"istanbul"};
    for (const char16_t *name : groups)
        Exec("phonebook", QStringLiteral("INSERT INTO Groups (GroupName) VALUES (?)"), {S(name)});
    ASSERT_TRUE(Start());
    QTest::mouseClick(Find<QWidget>("optTab(2)"), Qt::LeftButton);
    QListWidget *list = Find<QListWidget>("lstGroups");
    EXPECT_EQ(IDs(list), (QList<int>{5, 2, 6, 4, 3, 7, 1}));
    EXPECT_EQ(Shown(list), (QStringList{S(u"Ankara"), S(u"çağrı merkezi"), S(u"Irmak"), S(u"ışık ekibi"), S(u"İstanbul"),
                                        S(u"istanbul"), S(u"Şube")}));

    QTreeWidget *members = Find<QTreeWidget>("lsvGroupPhonenumbers");
    EXPECT_EQ(ContactIDs(members), byFirstName);
    ClickHeader(members, 3);
    EXPECT_EQ(ContactIDs(members), (QList<int>{4, 3, 6, 5, 2, 8, 7, 1}));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(Alphabetical, TheUsersListFollowsTheAlphabetByFirstThenLastName)
{
    const char16_t *const users[][2] = {{u"Şule", u"Ak"},   {u"İlker", u"Bal"}, {u"Ilgın", u"Can"}, {u"ilker", u"Acar"},
                                        {u"Çetin", u"Er"},  {u"Cem", u"Öz"},    {u"Ümran", u"Uz"},  {u"Ilgın", u"Can"}};
    int n = 0;
    for (const auto &user : users)
        Exec("application",
             QStringLiteral("INSERT INTO Users (UserName, UserPassword, FirstName, LastName, ModeratorAccess, ManualNumberPermission) "
                            "VALUES (?, '', ?, ?, 0, 0)"),
             {QStringLiteral("user%1").arg(++n), S(user[0]), S(user[1])});
    ASSERT_TRUE(Start());
    QListWidget *list = Find<QListWidget>("lstUsers");
    EXPECT_EQ(IDs(list), (QList<int>{6, 5, 3, 8, 4, 2, 1, 7}));
    EXPECT_EQ(Shown(list), (QStringList{S(u"Cem Öz"), S(u"Çetin Er"), S(u"Ilgın Can"), S(u"Ilgın Can"), S(u"ilker Acar"),
                                        S(u"İlker Bal"), S(u"Şule Ak"), S(u"Ümran Uz")}));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}
