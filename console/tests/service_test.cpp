// The installed service, running on the same databases, sees what the
// console's users, phone-book and groups tabs write at its next login,
// search or send.
#include "formtest.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

class WithService : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        WriteConsoleSettings("Language=en\n");
        ASSERT_TRUE(gateway.start({{QStringLiteral("sms_check_interval"), QStringLiteral("60")}}));
        ASSERT_TRUE(Start());
    }

    void TearDown() override
    {
        window.reset();
        EXPECT_TRUE(gateway.stop());
    }

    struct Talk {
        int exitCode = -1;
        QString out;
    };

    // Logs in with talvinor-talk and runs the requests `arguments`.
    Talk TalkAs(const QString &user, const QString &password, const QStringList &arguments = {}) const
    {
        QProcess talk;
        talk.start(QStringLiteral(TALVINOR_TALK),
                   QStringList{QStringLiteral("--port"), QString::number(gateway.port()), QStringLiteral("--user"), user,
                               QStringLiteral("--password"), password, QStringLiteral("--timeout"), QStringLiteral("30")}
                       + arguments);
        if (!talk.waitForFinished(60000))
            talk.kill();
        return {talk.exitCode(), QString::fromUtf8(talk.readAllStandardOutput())};
    }

    // The numbers the modem was asked to send to, with the message texts.
    QStringList SentTo() const
    {
        QStringList sent;
        for (const QByteArray &line : gateway.modem().sentLog().split('\n'))
            if (!line.isEmpty()) {
                const QJsonObject record = QJsonDocument::fromJson(line).object();
                sent << record[QStringLiteral("number")].toString() + QLatin1Char(' ') + record[QStringLiteral("text")].toString();
            }
        sent.sort();
        return sent;
    }

    void AddUser(const QString &name, const QString &password)
    {
        window->optTab_Click(0);
        Click("btnClearFormUser");
        Type("txtUserName", name);
        Find<QLineEdit>("txtUserPassword")->setText(password);
        Type("txtUserFirstName", name);
        Click("btnAddUser");
    }

    void AddContact(const QString &first, const QString &number)
    {
        window->optTab_Click(1);
        Click("btnClearFormPhonenumber");
        Type("txtFirstName", first);
        Type("txtPhonenumber", number);
        Click("btnAddPhonenumber");
    }

    ServiceOnModem gateway{folder};
};

} // namespace

TEST_F(WithService, AUserLogsInAtOnceUntilThePasswordChangesOrTheUserIsDeleted)
{
    const QString password = QStringLiteral("it's --me ");
    AddUser(QStringLiteral("bob"), password);
    Talk talk = TalkAs(QStringLiteral("bob"), password);
    EXPECT_EQ(talk.exitCode, 0) << talk.out.toStdString();
    EXPECT_TRUE(talk.out.contains(QStringLiteral("login reply: accepted"))) << talk.out.toStdString();

    auto *users = Find<QListWidget>("lstUsers");
    ClickRow(users, 0);
    Find<QLineEdit>("txtUserPassword")->setText(QStringLiteral("n3w"));
    Click("btnEditUser");
    EXPECT_EQ(TalkAs(QStringLiteral("bob"), password).exitCode, 2);
    EXPECT_EQ(TalkAs(QStringLiteral("bob"), QStringLiteral("n3w")).exitCode, 0);

    Click("btnDeleteUser");
    talk = TalkAs(QStringLiteral("bob"), QStringLiteral("n3w"));
    EXPECT_EQ(talk.exitCode, 2) << talk.out.toStdString();
    EXPECT_TRUE(talk.out.contains(QStringLiteral("login refused"))) << talk.out.toStdString();
    EXPECT_TRUE(boxes.boxes.size() == 1 && boxes.boxes[0].icon == QMessageBox::Question);
}

TEST_F(WithService, NewContactsAreFoundAndAGroupStillReceivesAfterAMemberIsDeleted)
{
    AddUser(QStringLiteral("ops"), QStringLiteral("pw"));
    AddContact(QStringLiteral("Zelda"), QStringLiteral("+905551110001"));
    AddContact(QStringLiteral("Yusuf"), QStringLiteral("+905551110002"));
    const Talk search = TalkAs(QStringLiteral("ops"), QStringLiteral("pw"), {QStringLiteral("--search"), QStringLiteral("zel")});
    EXPECT_TRUE(search.out.contains(QStringLiteral("1^0^Zelda^^^+905551110001"))) << search.out.toStdString();

    QTest::mouseClick(Find<QWidget>("optTab(2)"), Qt::LeftButton);
    Type("txtGroupName", QStringLiteral("Team"));
    Click("btnAddGroup");
    auto *members = Find<QTreeWidget>("lsvGroupPhonenumbers");
    ClickRow(Find<QListWidget>("lstGroups"), 0);
    ClickBox(members, members->topLevelItem(0));
    ClickBox(members, members->topLevelItem(1));
    ASSERT_EQ(Value("phonebook", QStringLiteral("SELECT COUNT(*) FROM ContactGroupLink WHERE GroupID = 1")), QStringLiteral("2"));

    TalkAs(QStringLiteral("ops"), QStringLiteral("pw"), {QStringLiteral("--send"), QStringLiteral("^1|1^to the team")});
    ASSERT_TRUE(gateway.modem().waitForSent(2, 120000)) << gateway.modem().sentLog().constData();
    EXPECT_EQ(SentTo(), (QStringList{QStringLiteral("+905551110001 ops:to the team"), QStringLiteral("+905551110002 ops:to the team")}));

    // One member leaves the phone book; the rest of the group still receives.
    window->optTab_Click(1);
    auto *contacts = Find<QTreeWidget>("lsvPhonenumber");
    ClickRow(contacts, contacts->topLevelItem(1));
    ASSERT_EQ(Text("txtFirstName"), QStringLiteral("Zelda"));
    Click("btnDeletePhonenumber");
    TalkAs(QStringLiteral("ops"), QStringLiteral("pw"), {QStringLiteral("--send"), QStringLiteral("^1|1^still here")});
    ASSERT_TRUE(gateway.modem().waitForSent(3, 120000)) << gateway.modem().sentLog().constData()
                                                        << folder.readFile(QStringLiteral("TalvinorSMSSvc.log")).constData();
    EXPECT_TRUE(SentTo().contains(QStringLiteral("+905551110002 ops:still here")));
    EXPECT_EQ(SentTo().size(), 3);
}
