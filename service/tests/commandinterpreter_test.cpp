// The command interpreter between real clients on real sockets and real
// SQLite files made by the install step's schema: login, phone-book search,
// send requests and what each of them does when it goes wrong.
#include "commandinterpreter.h"
#include "files.h"
#include "queuefiles.h"
#include "servicepartstest.h"
#include "testdatabases.h"
#include "text.h"

#include "platform/codepage.h"
#include "protocol/protocol.h"
#include "sealkit/clscipherbase.h"
#include "textkit/clsstring.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <random>
#include <vector>

namespace {

using protocol::Message;

const QString BobDigest = QStringLiteral("0123456789ABCDEF0123456789ABCDEF");
const QString AnnDigest = QStringLiteral("FEDCBA9876543210FEDCBA9876543210");
const QVariant Null;

QString L(const char *text)
{
    return QString::fromLatin1(text);
}

// A desktop client reduced to the wire: frames out, decoded messages in.
class Client {
public:
    // From `from`, one of the loopback addresses, when given.
    explicit Client(quint16 port, const QHostAddress &from = QHostAddress())
    {
        if (!from.isNull())
            m_socket.bind(from);
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] {
            m_buffer.Append(platform::codepage::fromAnsi(m_socket.readAll()));
            while (const auto message = m_buffer.NextMessage())
                if (const auto decoded = protocol::DecodeMessage(*message))
                    m_messages.push_back(*decoded);
        });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
    }
    void Send(qint16 code, const QString &data) { SendRaw(protocol::PrepareDataToSend(code, data).toLatin1()); }
    void SendRaw(const QByteArray &bytes) { m_socket.write(bytes); }
    // The next message; nothing when the connection ends first or none comes.
    std::optional<Message> Next()
    {
        const bool settled = QTest::qWaitFor(
            [this] { return !m_messages.empty() || m_socket.state() == QAbstractSocket::UnconnectedState; }, 10000);
        if (!settled || m_messages.empty())
            return std::nullopt;
        Message m = m_messages.front();
        m_messages.pop_front();
        return m;
    }
    bool WaitForClose()
    {
        return QTest::qWaitFor([this] { return m_socket.state() == QAbstractSocket::UnconnectedState; }, 10000);
    }
    bool HasMessages() const { return !m_messages.empty(); }
    // Closes its end after what it has written.
    void Close() { m_socket.disconnectFromHost(); }

private:
    QTcpSocket m_socket;
    protocol::ReceiveBuffer m_buffer;
    std::deque<Message> m_messages;
};

QString Deciphered(const Message &m)
{
    return sealkit::clsCipherBase().Decrypt(textkit::clsString::CHex2Str(m.data), false);
}

class CommandInterpreterTest : public ServicePartsTest<QTemporaryDir> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("db")));
        ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("Unsent")));
        const QString failure = CopyTemplateDatabases(folder.filePath(QStringLiteral("db")));
        ASSERT_TRUE(failure.isEmpty()) << qPrintable(failure);
        users.emplace(folder.filePath(QStringLiteral("db/application.db")));
        phonebook.emplace(folder.filePath(QStringLiteral("db/phonebook.db")));
        AddUser(QStringLiteral("bob"), BobDigest, 1);
        AddUser(QStringLiteral("ann"), AnnDigest, 0);
        ASSERT_NO_FATAL_FAILURE(OpenServiceParts());
        connections.SetCommandHandler(
            [this](const QString &message, qint16 index) { interpreter.ExecuteCommand(message, index); });
    }

    void AddUser(const QString &name, const QString &digest, const QVariant &permission)
    {
        users->Run(QStringLiteral("INSERT INTO Users (UserName, UserPassword, FirstName, LastName, ModeratorAccess, "
                                  "ManualNumberPermission) VALUES (?, ?, ?, '', 0, ?)"),
                   {name, digest, name, permission});
    }

    void AddContact(const QVariant &first, const QVariant &last, const QVariant &company, const QVariant &number)
    {
        phonebook->Run(QStringLiteral("INSERT INTO Contact (FirstName, LastName, Company, Phonenumber) VALUES (?, ?, ?, ?)"),
                       {first, last, company, number});
    }

    // Contacts 1-6 and groups 1-4; group 2 links contacts 2, 1 and 5 in that
    // order, group 3 a contact that is gone, group 4 one without a number.
    void FillPhonebook()
    {
        AddContact(L("Ann"), L("Smith"), L("Acme"), L("+901"));
        AddContact(L("Joanna"), L("Berg"), L("  Nordic  "), L(" +902 "));
        AddContact(L("Bob"), L("Hanna"), Null, L("+903"));
        AddContact(L("Carl"), L("Jones"), L("Mannheim AG"), Null);
        AddContact(L("Dora"), Null, Null, L("123"));
        AddContact(L("O'Brien"), L("Pat"), L("X"), L("+906"));
        for (const char *group : {"Annual meeting", "Sales", "Former staff", "No numbers"})
            phonebook->Run(QStringLiteral("INSERT INTO Groups (GroupName) VALUES (?)"), {L(group)});
        const int links[][2] = {{2, 2}, {2, 1}, {2, 5}, {3, 1}, {3, 99}, {4, 4}};
        for (const auto &link : links)
            phonebook->Run(QStringLiteral("INSERT INTO ContactGroupLink (GroupID, ContactID) VALUES (?, ?)"),
                           {link[0], link[1]});
    }

    // A connected client, kept open by the fixture, and the index of its
    // slot.
    std::pair<Client *, qint16> Connect(const QHostAddress &from = QHostAddress())
    {
        const QList<qint16> before = connections.Indices();
        clients.push_back(std::make_unique<Client>(server.serverPort(), from));
        EXPECT_TRUE(QTest::qWaitFor([&] { return connections.Indices().size() > before.size(); }, 5000));
        for (qint16 index : connections.Indices())
            if (!before.contains(index))
                return {clients.back().get(), index};
        return {clients.back().get(), 0};
    }

    // A client logged in as bob, who may type numbers.
    std::pair<Client *, qint16> LoggedIn(const QString &user = QStringLiteral("bob"), const QString &digest = BobDigest)
    {
        const auto [client, index] = Connect();
        client->Send(protocol::CMD_LOGIN, user + QLatin1Char('^') + digest);
        const auto reply = client->Next();
        EXPECT_TRUE(reply && reply->code == protocol::CMD_LOGIN_REPLY);
        return {client, index};
    }

    std::optional<Message> Search(Client &client, const QString &text)
    {
        client.Send(protocol::CMD_PHONEBOOK_SEARCH, text);
        return client.Next();
    }

    // Sends and waits until the service has handled the request: a search
    // sent behind it is answered only after it.
    void SendAndSettle(Client &client, const QString &data)
    {
        client.Send(protocol::CMD_SEND_SMS, data);
        const auto barrier = Search(client, QStringLiteral("zzzz"));
        ASSERT_TRUE(barrier && barrier->code == protocol::CMD_PHONEBOOK_RESULT);
    }

    QString LogText() const { return QString::fromUtf8(ReadAll(logFile.logPath())); }

    // The contents of the Unsent files, sorted; the files are removed.
    QStringList TakeUnsentFiles() const
    {
        QStringList contents;
        QDir unsent(folder.filePath(QStringLiteral("Unsent")));
        for (const QString &name : unsent.entryList(QDir::Files)) {
            QFile f(unsent.filePath(name));
            EXPECT_TRUE(f.open(QIODevice::ReadOnly));
            contents << platform::codepage::fromAnsi(f.readAll());
            f.remove();
        }
        contents.sort();
        return contents;
    }

    QRandomGenerator random{7};
    // The lines in the order they were queued; the files cannot tell it.
    QStringList queued;
    CommandInterpreter interpreter{connections, databases, log, cipher, [this](const QString &line) {
                                       queued << line;
                                       WriteUnsentFile(folder.path(), random, log, line);
                                   }};
    std::optional<Writer> users;
    std::optional<Writer> phonebook;
    std::vector<std::unique_ptr<Client>> clients;
};

} // namespace

TEST_F(CommandInterpreterTest, LoginAnswersWithTheFreeNumbersPermission)
{
    struct Case { const char *user; QVariant permission; const char *reply; } cases[] = {
        {"p1", 1, "(Connected)|1"},
        {"p0", 0, "(Connected)|0"},
        {"p2", 2, "(Connected)|0"},
        {"pminus", -1, "(Connected)|0"},
        {"pnull", Null, "(Connected)|0"},
    };
    for (const Case &c : cases)
        AddUser(L(c.user), BobDigest, c.permission);
    for (const Case &c : cases) {
        const auto [client, index] = Connect();
        client->Send(protocol::CMD_LOGIN, L(c.user) + QLatin1Char('^') + BobDigest);
        const auto reply = client->Next();
        ASSERT_TRUE(reply) << c.user;
        EXPECT_EQ(reply->code, protocol::CMD_LOGIN_REPLY);
        EXPECT_EQ(Deciphered(*reply), L(c.reply)) << c.user;
        EXPECT_EQ(connections.Tag(index), L(c.user));
        EXPECT_TRUE(OnlineEntries(connections).contains(L(c.user) + QLatin1Char('|') + QString::number(index)));
    }
    // Only the Null permission is a failure, logged where it is read.
    EXPECT_EQ(LogText().count(QStringLiteral("Procedure: UserManualNumberPermissionCheck")), 1) << qPrintable(LogText());
}

TEST_F(CommandInterpreterTest, ARefusedLoginClosesTheConnectionWithoutAFrameAndIsLogged)
{
    struct Case { QString data; const char *logged; } cases[] = {
        {L("bob^FEDCBA9876543210FEDCBA9876543210"), "user \"bob\""},
        {L("bob^0123456789ABCDEF0123456789ABCDEF^x"), "user \"bob\""},
        {L("bob"), "user \"bob\""},
        {L(""), "user \"\""},
        {L("nobody^0123456789ABCDEF0123456789ABCDEF"), "user \"nobody\""},
        // A name chosen to forge a second entry or to fill the log is cut
        // short and made printable.
        {L("x\" from 10.9.9.9\r\nRefused login from 10.9.9.9^x"), "user \"x\\\" from 10.9.9.9??Refused login from 10.9.9.9\""},
        {QString(100, QLatin1Char('a')) + QLatin1Char('^'), nullptr},
    };
    int n = 0;
    for (const Case &c : cases) {
        // Each from an address of its own: only an address's first refusal
        // is reported in full.
        const QString address = QStringLiteral("127.0.0.%1").arg(++n);
        const auto [client, index] = Connect(QHostAddress(address));
        const qsizetype logged = LogText().size();
        client->Send(protocol::CMD_LOGIN, c.data);
        EXPECT_TRUE(client->WaitForClose()) << qPrintable(c.data);
        EXPECT_FALSE(client->HasMessages()) << qPrintable(c.data);
        EXPECT_FALSE(connections.Exists(index)) << qPrintable(c.data);
        const QString entry = LogText().mid(logged);
        const QString expected = c.logged ? L(c.logged) : QStringLiteral("user \"") + QString(64, QLatin1Char('a')) + QStringLiteral("...\"");
        EXPECT_TRUE(entry.contains(QStringLiteral("Refused login from ") + address + QStringLiteral(" for ") + expected + QStringLiteral("\r\nProcedure: ExecuteCommand")))
            << qPrintable(entry);
        EXPECT_EQ(entry.count(QStringLiteral("Procedure: ")), 1) << qPrintable(entry);
    }
    EXPECT_TRUE(connections.OnlineUsers().isEmpty());
}

// Refused logins from rotating addresses cannot write the log away: each
// address's first is reported, the rest as counts with the most tried user
// names, at most once an interval.
TEST_F(CommandInterpreterTest, LaterRefusalsOfAnAddressAreCountedNotEachLogged)
{
    interpreter.SetRefusalReportInterval(400);
    constexpr int Addresses = 40;
    constexpr int Rounds = 3;
    QElapsedTimer spent;
    spent.start();
    for (int round = 0; round < Rounds; ++round) {
        for (int a = 1; a <= Addresses; ++a) {
            const auto [client, index] = Connect(QHostAddress(QStringLiteral("127.0.0.%1").arg(a)));
            client->Send(protocol::CMD_LOGIN, round == 2 ? QStringLiteral("root^x") : QStringLiteral("admin^x"));
            ASSERT_TRUE(client->WaitForClose());
        }
    }
    const QRegularExpression summary(QStringLiteral("(\\d+) more refused login\\(s\\) from (\\d+) address\\(es\\) already "
                                                    "reported; the user names most refused: (.*)\r\n"));
    int counted = 0;
    int summaries = 0;
    QString names;
    const auto countSummaries = [&] {
        counted = 0;
        summaries = 0;
        names.clear();
        for (auto it = summary.globalMatch(LogText()); it.hasNext();) {
            const auto match = it.next();
            counted += match.captured(1).toInt();
            names += match.captured(3);
            ++summaries;
        }
        return counted == Addresses * (Rounds - 1);
    };
    EXPECT_TRUE(QTest::qWaitFor(countSummaries, 5000)) << counted << qPrintable(LogText());
    EXPECT_LE(summaries, 2 + spent.elapsed() / 400) << qPrintable(LogText());
    EXPECT_EQ(LogText().count(QStringLiteral("Refused login from ")), Addresses) << qPrintable(LogText());
    EXPECT_TRUE(names.contains(QStringLiteral("\"admin\" (")) && names.contains(QStringLiteral("\"root\" ("))) << qPrintable(names);
}

// A logged-in client that sends many searches in one write and closes gets
// them dropped without a line each: one line at its close gives the count.
// Its sends still run.
TEST_F(CommandInterpreterTest, AnswersToAPeerThatClosedAreDroppedWithOneLine)
{
    const auto [client, index] = LoggedIn();
    const qsizetype logged = LogText().size();
    QByteArray burst;
    for (int i = 0; i < 500; ++i)
        burst += protocol::PrepareDataToSend(protocol::CMD_PHONEBOOK_SEARCH, QStringLiteral("ann")).toLatin1();
    burst += protocol::PrepareDataToSend(protocol::CMD_SEND_SMS, QStringLiteral("123^^still goes")).toLatin1();
    client->SendRaw(burst);
    client->Close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !connections.Exists(index); }, 20000));
    const QString entry = LogText().mid(logged);
    EXPECT_EQ(entry.count(QStringLiteral("Procedure: ")), 1) << qPrintable(entry);
    EXPECT_TRUE(entry.contains(QStringLiteral("(user \"bob\") closed by its peer before "))) << qPrintable(entry);
    EXPECT_FALSE(entry.contains(QStringLiteral("Wrong protocol"))) << qPrintable(entry);
    EXPECT_EQ(queued.size(), 1);
    EXPECT_TRUE(queued.value(0).endsWith(QStringLiteral(",still goes")));
}

// Ten refusals within ten minutes block the address for ten minutes: even
// the right password is then refused, without a look-up and with one report.
TEST_F(CommandInterpreterTest, RepeatedRefusalsBlockTheAddressForTenMinutes)
{
    qint64 now = 1000000;
    interpreter.loginGuard().SetClockForTests([&now] { return now; });
    const auto login = [&](const QString &digest) {
        const auto [client, index] = Connect();
        client->Send(protocol::CMD_LOGIN, QStringLiteral("bob^") + digest);
        const auto reply = client->Next();
        return reply && reply->code == protocol::CMD_LOGIN_REPLY;
    };
    const qint64 minute = 60 * 1000;
    const auto refuse = [&](int times) {
        for (int i = 0; i < times; ++i)
            EXPECT_FALSE(login(AnnDigest));
    };
    refuse(9);
    EXPECT_TRUE(login(BobDigest)) << "nine refusals do not block";
    // Refusals older than ten minutes no longer count.
    now += 10 * minute;
    refuse(9);
    EXPECT_TRUE(login(BobDigest)) << "refusals from ten minutes ago still counted";
    EXPECT_EQ(LogText().count(QStringLiteral("Blocked logins")), 0);

    refuse(1);
    EXPECT_EQ(LogText().count(QStringLiteral("Blocked logins from 127.0.0.1 for 10 minutes after 10 refused logins\r\n"
                                             "Procedure: ExecuteCommand")),
              1)
        << qPrintable(LogText());
    // With the database closed a look-up would be logged as failing.
    databases.CloseConnections();
    const qsizetype logged = LogText().size();
    for (int i = 0; i < 20; ++i)
        EXPECT_FALSE(login(BobDigest));
    now += 10 * minute - 1;
    EXPECT_FALSE(login(BobDigest));
    EXPECT_EQ(LogText().mid(logged), QString());

    now += 1;
    databases.OpenConnections(folder.path());
    EXPECT_TRUE(login(BobDigest));
}

TEST_F(CommandInterpreterTest, ALoginOnALoggedInConnectionReplacesItsEntry)
{
    const auto [client, index] = LoggedIn();
    client->Send(protocol::CMD_LOGIN, QStringLiteral("ann^") + AnnDigest);
    const auto reply = client->Next();
    ASSERT_TRUE(reply);
    EXPECT_EQ(Deciphered(*reply), QStringLiteral("(Connected)|0"));
    EXPECT_EQ(OnlineEntries(connections), QStringList{QStringLiteral("ann|%1").arg(index)});
    EXPECT_EQ(connections.Tag(index), QStringLiteral("ann"));

    // Refused the next time: the connection and its entry both go.
    client->Send(protocol::CMD_LOGIN, QStringLiteral("ann^") + BobDigest);
    EXPECT_TRUE(client->WaitForClose());
    EXPECT_TRUE(connections.OnlineUsers().isEmpty());
}

TEST_F(CommandInterpreterTest, RequestsBeforeLoginAreIgnoredAndLoggedOncePerAddress)
{
    FillPhonebook();
    int n = 0;
    for (const char *from : {"127.0.0.1", "127.0.0.1", "127.0.0.2"}) {
        const bool reported = n++ != 1;
        const auto [client, index] = Connect(QHostAddress(L(from)));
        for (int i = 0; i < 200; ++i) {
            client->Send(protocol::CMD_PHONEBOOK_SEARCH, QStringLiteral("ann"));
            client->Send(protocol::CMD_SEND_SMS, QStringLiteral("123^^hi"));
        }
        client->Send(protocol::CMD_LOGIN, QStringLiteral("bob^") + BobDigest);
        const auto first = client->Next();
        ASSERT_TRUE(first);
        EXPECT_EQ(first->code, protocol::CMD_LOGIN_REPLY);
        EXPECT_TRUE(queued.isEmpty());
        EXPECT_TRUE(TakeUnsentFiles().isEmpty());
        // once per address
        EXPECT_EQ(LogText().count(QStringLiteral("from connection %1 (%2) ignored: it has not logged in").arg(index).arg(L(from))), reported ? 1 : 0)
            << qPrintable(LogText());
    }
    EXPECT_EQ(LogText().count(QStringLiteral("Procedure: ExecuteCommand")), 2) << qPrintable(LogText());
}

// Our client hides the number box from users without the permission; a
// client that sends typed numbers anyway has them dropped, not its
// contacts and groups.
TEST_F(CommandInterpreterTest, TypedNumbersNeedThePermissionContactsAndGroupsDoNot)
{
    FillPhonebook();
    const auto [client, index] = LoggedIn(QStringLiteral("ann"), AnnDigest);
    struct Case { const char *data; QStringList numbers; bool logged; } cases[] = {
        {"555,666^1|0|2|1^hi", {L("+901"), L("+902"), L("123")}, true},
        {"555^^hi", {}, true},
        {"  ^1|0^hi", {L("+901")}, false},
    };
    for (const Case &c : cases) {
        queued.clear();
        const qsizetype logged = LogText().size();
        SendAndSettle(*client, L(c.data));
        QStringList numbers;
        for (const QString &line : queued)
            numbers << line.section(QLatin1Char(','), 1, 1);
        EXPECT_EQ(numbers, c.numbers) << c.data;
        TakeUnsentFiles();
        EXPECT_EQ(LogText().mid(logged).contains(QStringLiteral("Typed numbers from user \"ann\" dropped: the user may not type numbers")),
                  c.logged)
            << c.data << qPrintable(LogText().mid(logged));
    }
    // The same connection logged in again as bob may type them.
    client->Send(protocol::CMD_LOGIN, QStringLiteral("bob^") + BobDigest);
    ASSERT_TRUE(client->Next());
    queued.clear();
    SendAndSettle(*client, L("555^^hi"));
    ASSERT_EQ(queued.size(), 1);
    EXPECT_TRUE(queued.front().startsWith(QStringLiteral("bob,555,")));
}

TEST_F(CommandInterpreterTest, UnknownCodesAndShortMessagesGetNoAnswer)
{
    const auto [client, index] = LoggedIn();
    client->SendRaw("0200|020|040000|04000141|810000|850003616263|||");
    const auto first = Search(*client, QStringLiteral("zzzz"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->code, protocol::CMD_PHONEBOOK_RESULT);
    EXPECT_FALSE(client->HasMessages());
    EXPECT_EQ(LogText(), QString());
}

TEST_F(CommandInterpreterTest, SearchStatementBindsEveryWordForEachColumn)
{
    const Statement ann = PhonebookSearchStatement(QStringLiteral("ann"));
    EXPECT_EQ(ann.text,
              QStringLiteral("SELECT ID AS F1, 0 AS F2, FirstName AS F3, LastName AS F4, Company AS F5, Phonenumber AS F6 "
                             "FROM Contact WHERE FirstName LIKE '%' || ? || '%' OR LastName LIKE '%' || ? || '%' "
                             "OR Company LIKE '%' || ? || '%' UNION SELECT ID AS F1, 1 AS F2, GroupName AS F3, "
                             "'' AS F4, '' AS F5, '' AS F6 FROM Groups WHERE GroupName LIKE '%' || ? || '%' "
                             "ORDER BY F3 COLLATE turkish, F4 COLLATE turkish, F5 COLLATE turkish, F6 COLLATE turkish, F1"));
    EXPECT_EQ(ann.values, (QVariantList{L("ann"), L("ann"), L("ann"), L("ann")}));

    const Statement empty = PhonebookSearchStatement(QString());
    EXPECT_EQ(empty.text,
              QStringLiteral("SELECT ID AS F1, 0 AS F2, FirstName AS F3, LastName AS F4, Company AS F5, Phonenumber AS F6 "
                             "FROM Contact WHERE 1=0 OR 1=0 OR 1=0 UNION SELECT ID AS F1, 1 AS F2, GroupName AS F3, "
                             "'' AS F4, '' AS F5, '' AS F6 FROM Groups WHERE 1=0 ORDER BY F3 COLLATE turkish, "
                             "F4 COLLATE turkish, F5 COLLATE turkish, F6 COLLATE turkish, F1"));
    EXPECT_TRUE(empty.values.isEmpty());

    const Statement padded = PhonebookSearchStatement(QStringLiteral("  ann    o'x  "));
    EXPECT_EQ(padded.values.mid(0, 4), (QVariantList{QString(), L("ann"), L("o'x"), QString()}));
    EXPECT_EQ(padded.values.size(), 16);
}

TEST_F(CommandInterpreterTest, SearchAnswersMatchingContactsAndGroupsInOrder)
{
    FillPhonebook();
    const auto [client, index] = LoggedIn();
    const QString everything = QStringLiteral("1^0^Ann^Smith^Acme^+901|1^1^Annual meeting^^^|3^0^Bob^Hanna^^+903|"
                                              "4^0^Carl^Jones^Mannheim AG^|5^0^Dora^^^123|3^1^Former staff^^^|"
                                              "2^0^Joanna^Berg^Nordic^+902|4^1^No numbers^^^|6^0^O'Brien^Pat^X^+906|"
                                              "2^1^Sales^^^");
    struct Case { QString text; QString result; } cases[] = {
        {QStringLiteral("ann"), QStringLiteral("1^0^Ann^Smith^Acme^+901|1^1^Annual meeting^^^|3^0^Bob^Hanna^^+903|"
                                               "4^0^Carl^Jones^Mannheim AG^|2^0^Joanna^Berg^Nordic^+902")},
        {QStringLiteral("SMITH acme"), QStringLiteral("1^0^Ann^Smith^Acme^+901")},
        {QStringLiteral("o'brien"), QStringLiteral("6^0^O'Brien^Pat^X^+906")},
        {QStringLiteral("x'or'1'='1"), QString()},
        {QStringLiteral("zzz"), QString()},
        {QString(), QString()},
        // The blanks around "ann" give two empty words, which match every
        // value that is not Null.
        {QStringLiteral("  ann  "), everything},
    };
    for (const Case &c : cases) {
        const auto answer = Search(*client, c.text);
        ASSERT_TRUE(answer) << qPrintable(c.text);
        EXPECT_EQ(answer->code, protocol::CMD_PHONEBOOK_RESULT);
        EXPECT_EQ(answer->data, c.result) << qPrintable(c.text);
    }
    EXPECT_EQ(LogText(), QString());
}

TEST_F(CommandInterpreterTest, SearchFindsEveryLetterWhateverItsCaseAndAnswersInAlphabeticalOrder)
{
    // Contacts 1-8 and groups 1-4: contact 8 repeats contact 1, and the two
    // İbrahims differ in case alone.
    const char16_t *const contacts[][4] = {
        {u"Çağrı", u"Yıldız", u"IŞIK LOJİSTİK", u"+9011"}, {u"İbrahim", u"Öztürk", u"Şahin Gıda", u"+9012"},
        {u"Irene", u"Smith", u"Acme", u"+9013"},           {u"Işık", u"Çelik", nullptr, u"+9014"},
        {u"Gülşen", u"Ünal", u"ılgaz ticaret", u"+9015"},  {u"ibrahim", u"Aydın", u"Acme", u"+9016"},
        {u"Zeynep", u"Doğan", u"Ilıca", u"+9017"},         {u"Çağrı", u"Yıldız", u"IŞIK LOJİSTİK", u"+9011"},
    };
    for (const auto &c : contacts)
        AddContact(S(c[0]), S(c[1]), c[2] ? QVariant(S(c[2])) : Null, S(c[3]));
    const char16_t *const groups[] = {u"İstanbul ofisi", u"Işık ekibi", u"Şube çalışanları", u"Çağrı merkezi"};
    for (const char16_t *group : groups)
        phonebook->Run(QStringLiteral("INSERT INTO Groups (GroupName) VALUES (?)"), {S(group)});
    const auto record = [&](const QString &key) {
        const int id = key.mid(1).toInt();
        if (key.startsWith(QLatin1Char('g')))
            return QStringLiteral("%1^1^%2^^^").arg(id).arg(S(groups[id - 1]));
        const auto &c = contacts[id - 1];
        return QStringList{QString::number(id), QStringLiteral("0"), S(c[0]), S(c[1]), c[2] ? S(c[2]) : QString(), S(c[3])}
            .join(QLatin1Char('^'));
    };
    const auto [client, index] = LoggedIn();
    const struct {
        const char16_t *text;
        const char *keys; // c<contact ID> or g<group ID>, in the order expected
    } cases[] = {
        // Every row: ties on the name go to the next column, full ties to the ID.
        {u" ", "c1 c8 g4 c5 c3 c4 g2 c6 c2 g1 g3 c7"},
        {u"çağ", "c1 c8 g4"},
        {u"ÇAĞ", "c1 c8 g4"},
        {u"ğrı", "c1 c8 g4"},
        {u"ibra", "c6 c2"},
        {u"İBRA", "c6 c2"},
        {u"brah", "c6 c2"},
        {u"ışık", "c1 c8 c4 g2"},
        {u"IŞIK", "c1 c8 c4 g2"},
        {u"işik", "c1 c8 c4 g2"},
        {u"şık", "c1 c8 c4 g2"},
        {u"ISIK", ""},
        {u"irene", "c3"},
        {u"IRENE", "c3"},
        {u"ılgaz", "c5"},
        {u"ILGAZ", "c5"},
        {u"gÜLşEn", "c5"},
        {u"ünal", "c5"},
        {u"ÖZTÜRK", "c2"},
        {u"öztürk", "c2"},
        {u"gıda", "c2"},
        {u"çelik", "c4"},
        {u"ılıca", "c7"},
        {u"DOĞ", "c7"},
        {u"istanbul", "g1"},
        {u"ISTANBUL", "g1"},
        {u"ofis", "g1"},
        {u"ŞUBE ÇALIŞANLARI", "g3"},
        {u"acme zeynep", "c3 c6 c7"},
    };
    for (const auto &c : cases) {
        QStringList expected;
        for (const QString &key : QString::fromLatin1(c.keys).split(QLatin1Char(' '), Qt::SkipEmptyParts))
            expected << record(key);
        const auto answer = Search(*client, S(c.text));
        ASSERT_TRUE(answer) << qPrintable(S(c.text));
        EXPECT_EQ(answer->data, expected.join(QLatin1Char('|'))) << qPrintable(S(c.text));
    }
    EXPECT_EQ(LogText(), QString());
}

TEST_F(CommandInterpreterTest, AFailedSearchIsLoggedAndOnlyItIsDropped)
{
    const auto [client, index] = LoggedIn();
    phonebook->Run(QStringLiteral("DROP TABLE Groups"));
    client->Send(protocol::CMD_PHONEBOOK_SEARCH, QStringLiteral("ann"));
    client->Send(protocol::CMD_LOGIN, QStringLiteral("bob^") + BobDigest);
    const auto next = client->Next();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->code, protocol::CMD_LOGIN_REPLY);
    EXPECT_TRUE(LogText().contains(QStringLiteral("no such table: Groups\r\nProcedure: ExecuteCommand"))) << qPrintable(LogText());
}

TEST_F(CommandInterpreterTest, SearchTextUpTo16383CharactersIsCarried)
{
    const auto [client, index] = LoggedIn();
    const auto answer = Search(*client, QString(16383, QLatin1Char('q')));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->code, protocol::CMD_PHONEBOOK_RESULT);

    // One more character cannot be decoded: logged, and nothing is answered.
    QString tooLong = protocol::PrepareDataToSend(protocol::CMD_PHONEBOOK_SEARCH, QString(16384, QLatin1Char('q')));
    tooLong.chop(1);
    interpreter.ExecuteCommand(tooLong, index);
    EXPECT_TRUE(LogText().contains(QStringLiteral("Overflow\r\nProcedure: ExecuteCommand"))) << qPrintable(LogText());
    const auto next = Search(*client, QStringLiteral("zzzz"));
    ASSERT_TRUE(next);
    EXPECT_EQ(next->data, QString());
}

TEST_F(CommandInterpreterTest, DataTooLongToFrameGivesNoFrameAndIsLogged)
{
    EXPECT_EQ(PrepareDataToSend(log, protocol::CMD_PHONEBOOK_RESULT, QString(32767, QLatin1Char('x'))), QString());
    EXPECT_TRUE(LogText().contains(QStringLiteral("Overflow\r\nProcedure: PrepareDataToSend"))) << qPrintable(LogText());
    EXPECT_EQ(PrepareDataToSend(log, protocol::CMD_PHONEBOOK_RESULT, u"abc"), QStringLiteral("820003616263|"));
}

TEST_F(CommandInterpreterTest, SendQueuesEachDistinctNumberOnceInOrder)
{
    FillPhonebook();
    const auto [client, index] = LoggedIn();
    struct Case { const char *data; QStringList numbers; const char *message; const char *logged; } cases[] = {
        {"123,123^^hi", {L("123")}, "hi", nullptr},
        {"^^hi", {}, "", nullptr},
        {"123^^", {L("123")}, "", nullptr},
        {"123^5|0^hi", {L("123")}, "hi", nullptr},
        {"^5^hi", {}, "", nullptr},
        {"^5|0|7^hi", {}, "", "Subscript out of range\r\nProcedure: ExecuteCommand"},
        {"^3|1^hi", {}, "", "Invalid use of Null\r\nProcedure: ExecuteCommand"},
        {"^4|1^hi", {}, "", "Invalid use of Null\r\nProcedure: ExecuteCommand"},
        {" 456 ,123, 123^2|0|2|1|1|0^x,y|z",
         {L("456 "), L("123"), L(" 123"), L("+902"), L("+901")}, "x,y|z", nullptr},
        {"1,,2^^x", {L("1"), QString(), L("2")}, "x", nullptr},
        // Raw line breaks would end the file's line; they travel as "|".
        {"123^^one\r\ntwo\rthree\nfour", {L("123")}, "one|two|three|four", nullptr},
        {"^4|0|1|0^x", {L("+901")}, "x", "Invalid use of Null\r\nProcedure: ExecuteScalar"},
        {"^99|0^x", {}, "", nullptr},
        {"^1|2^x", {}, "", nullptr},
        {"^x|0^hi", {}, "", "Type mismatch: \"x\"\r\nProcedure: ExecuteCommand"},
        {"^1|0.5.5^hi", {}, "", "Procedure: ExecuteCommand"},
        {"1^2", {}, "", nullptr},
        {"1^2^3^4", {}, "", nullptr},
    };
    const QRegularExpression line(QStringLiteral("^bob,([^,]*),\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d,(.*)$"),
                                  QRegularExpression::DotMatchesEverythingOption);
    for (const Case &c : cases) {
        queued.clear();
        const qsizetype logged = LogText().size();
        SendAndSettle(*client, L(c.data));
        QStringList numbers;
        for (const QString &q : queued) {
            const auto match = line.match(q);
            ASSERT_TRUE(match.hasMatch()) << qPrintable(q);
            numbers << match.captured(1);
            EXPECT_EQ(match.captured(2), L(c.message)) << c.data;
        }
        EXPECT_EQ(numbers, c.numbers) << c.data;
        QStringList files;
        for (const QString &q : queued)
            files << q + QStringLiteral("\r\n");
        files.sort();
        EXPECT_EQ(TakeUnsentFiles(), files) << c.data;
        const QString entry = LogText().mid(logged);
        if (c.logged)
            EXPECT_TRUE(entry.contains(L(c.logged))) << c.data << ": " << qPrintable(entry);
        else
            EXPECT_EQ(entry, QString()) << c.data;
    }
}

// Numbers stored as people write them go out as numbers: blanks, brackets,
// dashes, dots and slashes go; anything else stays, so a number that is no
// number is still one the queue sets aside. Duplicates are found after that.
TEST_F(CommandInterpreterTest, StoredNumbersLoseTheMarksWrittenBetweenDigits)
{
    AddContact(L("Ann"), L("A"), Null, L("0532 123 00 02"));
    AddContact(L("Bob"), L("B"), Null, L("(0532) 123-00-03"));
    AddContact(L("Cem"), L("C"), Null, QStringLiteral("0532 123.00/04"));
    AddContact(L("Dil"), L("D"), Null, L("0800 FLOWERS"));
    AddContact(L("Ece"), L("E"), Null, L("05321230002"));
    AddContact(L("Fay"), L("F"), Null, L("+90 (532) 123 00 05"));
    AddContact(L("Gul"), L("G"), Null, L(" - "));
    phonebook->Run(QStringLiteral("INSERT INTO Groups (GroupName) VALUES ('All')"));
    for (int contact = 1; contact <= 7; ++contact)
        phonebook->Run(QStringLiteral("INSERT INTO ContactGroupLink (GroupID, ContactID) VALUES (1, ?)"), {contact});
    const auto [client, index] = LoggedIn();
    const QStringList expected{L("05321230002"), L("05321230003"), L("05321230004"), L("0800FLOWERS"),
                               L("+905321230005")};
    for (const char *data : {"^1|0|2|0|3|0|4|0|5|0|6|0|7|0^hi", "^1|1^hi", "0532 123 00 02^1|1^hi"}) {
        queued.clear();
        SendAndSettle(*client, L(data));
        QStringList numbers;
        for (const QString &q : queued)
            numbers << ReadSmsRecord(q).Number;
        // Typed numbers keep the present check: as typed.
        const QStringList want = QByteArray(data).startsWith('^') ? expected : QStringList{L("0532 123 00 02")} + expected;
        EXPECT_EQ(numbers, want) << data;
        TakeUnsentFiles();
    }
}

// Random messages, and random bytes on the wire, must never bring the
// service down or leave it unable to serve. Most messages are near misses
// of real requests, so that they reach the database and the queue.
TEST_F(CommandInterpreterTest, SurvivesRandomMessagesAndRandomBytes)
{
    FillPhonebook();
    std::mt19937 random(20261210);
    const auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    const auto text = [&](QStringView alphabet, size_t maxLength) {
        QString t;
        for (size_t i = pick(maxLength + 1); i > 0; --i)
            t += alphabet[static_cast<qsizetype>(pick(static_cast<size_t>(alphabet.size())))];
        return t;
    };
    const auto join = [&](const QStringList &pieces, size_t maxCount, QChar separator) {
        QStringList chosen;
        for (size_t i = pick(maxCount + 1); i > 0; --i)
            chosen << pieces[static_cast<qsizetype>(pick(static_cast<size_t>(pieces.size())))];
        return chosen.join(separator);
    };
    const QStringList numbers = {L("123"), L(" 123"), L(""), L("+905551112233"), L("1,2"), L("'--")};
    const QStringList entries = {L("1"), L("2"), L("3"), L("4"), L("5"), L("99"), L("0"), L("1"), L("-1"),
                                 L("x"), L(""), L("1.5"), L("&H2"), L("40000"), L("9999999999")};
    const QString free = QStringLiteral("0123456789|^, aAnN'%_\\-x\u00E7\u011F");
    // Refused logins are many here: each is as if the last was long ago.
    qint64 now = 0;
    interpreter.loginGuard().SetClockForTests([&now] { return now += LoginGuard::BlockMs; });
    auto session = LoggedIn();
    for (int round = 0; round < 4000; ++round) {
        if (!connections.Exists(session.second))
            session = LoggedIn();
        QString cmd;
        qint16 code = protocol::CMD_SEND_SMS;
        QString data;
        switch (pick(10)) {
        case 0: {
            QByteArray bytes(static_cast<qsizetype>(pick(40)), Qt::Uninitialized);
            for (char &b : bytes)
                b = static_cast<char>(pick(256));
            cmd = platform::codepage::fromAnsi(bytes);
            break;
        }
        case 1:
            code = protocol::CMD_LOGIN;
            data = pick(2) ? QStringLiteral("bob^") + BobDigest : text(free, 20);
            break;
        case 2:
        case 3:
            code = protocol::CMD_PHONEBOOK_SEARCH;
            data = text(free, 20);
            break;
        case 9:
            code = static_cast<qint16>(pick(256));
            data = text(free, 20);
            break;
        default:
            data = join(numbers, 3, QLatin1Char(',')) + QLatin1Char('^') + join(entries, 6, QLatin1Char('|'))
                + QLatin1Char('^') + text(free, 20);
            if (pick(8) == 0)
                data.insert(static_cast<qsizetype>(pick(static_cast<size_t>(data.size()) + 1)), QLatin1Char('^'));
            break;
        }
        if (cmd.isEmpty()) {
            cmd = protocol::PrepareDataToSend(code, data);
            cmd.chop(1);
            if (pick(10) == 0)
                cmd.truncate(static_cast<qsizetype>(pick(static_cast<size_t>(cmd.size()) + 1)));
        }
        interpreter.ExecuteCommand(cmd, session.second);
        QCoreApplication::processEvents();
    }
    EXPECT_FALSE(queued.isEmpty());

    const auto [client, index] = LoggedIn();
    QByteArray noise(200000, Qt::Uninitialized);
    for (char &b : noise)
        b = static_cast<char>(pick(256));
    client->SendRaw(noise);

    const auto [fresh, freshIndex] = LoggedIn();
    const auto answer = Search(*fresh, QStringLiteral("o'brien"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->data, QStringLiteral("6^0^O'Brien^Pat^X^+906"));
}
