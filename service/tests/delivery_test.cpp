// Received messages: addressing, Incoming files, pushes to online clients
// over real sockets, archiving to Backup.
#include "delivery.h"
#include "programfolder.h"
#include "servicepartstest.h"
#include "testdatabases.h"

#include "protocol/protocol.h"
#include "textkit/clsstring.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

const QString Phone = QStringLiteral("+905551112233");
const QString ModemStamp = QStringLiteral("26121009300012");

class DeliveryTest : public ServicePartsTest<ProgramFolder> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        struct User { const char *name; int moderator; } users[] = {{"bob", 0}, {"ann", 0}, {"mod1", 1}, {"mod2", 1}};
        Writer writer(folder.filePath(QStringLiteral("db/application.db")));
        for (const User &u : users)
            writer.Run(QStringLiteral("INSERT INTO Users (UserName, UserPassword, ModeratorAccess, ManualNumberPermission) "
                                      "VALUES (?, 'X', ?, 0)"),
                       {QString::fromLatin1(u.name), u.moderator});
        ASSERT_NO_FATAL_FAILURE(OpenServiceParts());
    }

    // A client logged in as `user`; its socket index is returned.
    size_t LogIn(const QString &user)
    {
        const QList<qint16> before = connections.Indices();
        clients.push_back(std::make_unique<QTcpSocket>());
        buffers.emplace_back();
        clients.back()->connectToHost(QHostAddress::LocalHost, server.serverPort());
        EXPECT_TRUE(QTest::qWaitFor([&] { return connections.Indices().size() == before.size() + 1; }, 5000));
        for (qint16 index : connections.Indices())
            if (!before.contains(index)) {
                connections.SetTag(index, user);
                connections.AddOnlineUser(index, user);
            }
        return clients.size() - 1;
    }

    // The pushed lines that client `n` has received within `waitMs`.
    QStringList Pushed(size_t n, int waitMs = 2000)
    {
        QStringList lines;
        QTcpSocket &socket = *clients.at(n);
        (void)QTest::qWaitFor([&] { return socket.bytesAvailable() > 0; }, waitMs); // nothing may come
        buffers[n].Append(QString::fromLatin1(socket.readAll()));
        while (const auto message = buffers[n].NextMessage()) {
            const auto decoded = protocol::DecodeMessage(*message);
            EXPECT_TRUE(decoded && decoded->code == protocol::CMD_NEW_SMS);
            lines << cipher.Decrypt(textkit::clsString::CHex2Str(decoded->data), false);
        }
        return lines;
    }

    void Receive(const QString &message, bool expectStored = true)
    {
        bool stored = true;
        delivery.oVorbex_SMSReceived(QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("25\r"), ModemStamp, Phone,
                                     message, stored);
        EXPECT_EQ(stored, expectStored) << qPrintable(message);
    }

    QStringList Files(const char *sub) const
    {
        return QDir(folder.filePath(QString::fromLatin1(sub))).entryList(QDir::Files, QDir::Name);
    }

    void WriteIncoming(const QString &name, const QByteArray &content) const
    {
        QFile f(folder.filePath(QStringLiteral("Incoming/") + name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    QByteArray Log() const { return folder.readFile(QStringLiteral("TalvinorSMSSvc.log")); }

    Delivery delivery{folder.path(), log, databases, connections, cipher};
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    std::vector<protocol::ReceiveBuffer> buffers;
};

} // namespace

TEST_F(DeliveryTest, FirstWordNamesTheAddresseeOrTheModeratorsTakeItWhole)
{
    struct Case { const char *message; const char *line; } cases[] = {
        {"bob hello there", "bob,+905551112233,26/12/10 09:30:00,hello there"},
        {"Bob hi, you", "Bob,+905551112233,26/12/10 09:30:00,hi, you"},
        {" bob hello", "Moderator,+905551112233,26/12/10 09:30:00, bob hello"},
        {"bobhello", "Moderator,+905551112233,26/12/10 09:30:00,bobhello"},
        {"carol hi", "Moderator,+905551112233,26/12/10 09:30:00,carol hi"},
        {"x' OR '1'='1 hi", "Moderator,+905551112233,26/12/10 09:30:00,x' OR '1'='1 hi"},
    };
    for (const Case &c : cases) {
        for (const QString &name : Files("Incoming"))
            QFile::remove(folder.filePath(QStringLiteral("Incoming/") + name));
        Receive(QString::fromUtf8(c.message));
        const QStringList files = Files("Incoming");
        ASSERT_EQ(files.size(), 1) << c.message;
        EXPECT_TRUE(files[0].startsWith(QStringLiteral("inc_")) && files[0].endsWith(QStringLiteral(".dat")));
        EXPECT_EQ(folder.readFile(QStringLiteral("Incoming/") + files[0]), QByteArray(c.line)) << c.message;
    }
}

TEST_F(DeliveryTest, MessagesOfTheSameSecondEachGetAFreeName)
{
    // Names an archived message already holds in Backup are not taken either.
    const QDateTime now = QDateTime::currentDateTime();
    for (int s = 0; s < 3; ++s)
        QFile(folder.filePath(QStringLiteral("Backup/") + IncomingFileName(FileStamp(now.addSecs(s)))))
            .open(QIODevice::WriteOnly);
    for (int i = 0; i < 5; ++i)
        Receive(QStringLiteral("bob message %1").arg(i));
    const QStringList files = Files("Incoming");
    ASSERT_EQ(files.size(), 5);
    for (const QString &name : files) {
        EXPECT_TRUE(name.startsWith(QStringLiteral("inc_")) && name.endsWith(QStringLiteral(".dat"))) << qPrintable(name);
        EXPECT_LE(name.size(), clsSMS::MaxFfname) << qPrintable(name);
        EXPECT_FALSE(Files("Backup").contains(name)) << qPrintable(name);
    }
}

TEST_F(DeliveryTest, AMessageThatCannotBeStoredStaysInTheModem)
{
    ASSERT_TRUE(QDir(folder.filePath(QStringLiteral("Incoming"))).removeRecursively());
    Receive(QStringLiteral("bob hello"), false);
    EXPECT_TRUE(Log().contains("\r\nProcedure: oVorbex_SMSReceived")) << Log().constData();
}

TEST_F(DeliveryTest, AUserOnTwoConnectionsGetsItOnBoth)
{
    const size_t first = LogIn(QStringLiteral("bob"));
    const size_t second = LogIn(QStringLiteral("bob"));
    const size_t other = LogIn(QStringLiteral("ann"));
    Receive(QStringLiteral("BOB see you"));
    delivery.ReadIncomingFile();
    const QStringList expected{QStringLiteral("BOB,+905551112233,26/12/10 09:30:00,see you")};
    EXPECT_EQ(Pushed(first), expected);
    EXPECT_EQ(Pushed(second), expected);
    EXPECT_TRUE(Pushed(other, 200).isEmpty());
    EXPECT_TRUE(Files("Incoming").isEmpty());
    EXPECT_EQ(Files("Backup").size(), 1);
}

TEST_F(DeliveryTest, TwoModeratorsAreServedInOneTickAndTheFileMovesOnce)
{
    const size_t user = LogIn(QStringLiteral("ann"));
    const size_t mod1 = LogIn(QStringLiteral("mod1"));
    const size_t mod2 = LogIn(QStringLiteral("mod2"));
    Receive(QStringLiteral("nobody knows me"));
    delivery.ReadIncomingFile();
    const QStringList expected{QStringLiteral("Moderator,+905551112233,26/12/10 09:30:00,nobody knows me")};
    EXPECT_EQ(Pushed(mod1), expected);
    EXPECT_EQ(Pushed(mod2), expected);
    EXPECT_TRUE(Pushed(user, 200).isEmpty());
    EXPECT_TRUE(Files("Incoming").isEmpty());
    EXPECT_EQ(Files("Backup").size(), 1);
}

TEST_F(DeliveryTest, AMessageWaitsForItsAddresseeWhileLaterOnesGo)
{
    WriteIncoming(QStringLiteral("inc_261210090000.dat"), "ann,+905550000001,26/12/10 09:00:00,for ann");
    WriteIncoming(QStringLiteral("inc_261210090001.dat"), "bob,+905550000002,26/12/10 09:00:01,first for bob");
    WriteIncoming(QStringLiteral("inc_261210090002.dat"), "bob,+905550000003,26/12/10 09:00:02,second for bob");
    const size_t bob = LogIn(QStringLiteral("bob"));

    delivery.ReadIncomingFile();
    EXPECT_EQ(Pushed(bob), QStringList{QStringLiteral("bob,+905550000002,26/12/10 09:00:01,first for bob")});
    delivery.ReadIncomingFile();
    EXPECT_EQ(Pushed(bob), QStringList{QStringLiteral("bob,+905550000003,26/12/10 09:00:02,second for bob")});
    delivery.ReadIncomingFile();
    EXPECT_EQ(Files("Incoming"), QStringList{QStringLiteral("inc_261210090000.dat")});

    const size_t ann = LogIn(QStringLiteral("ann"));
    delivery.ReadIncomingFile();
    EXPECT_EQ(Pushed(ann), QStringList{QStringLiteral("ann,+905550000001,26/12/10 09:00:00,for ann")});
    EXPECT_TRUE(Files("Incoming").isEmpty());
    EXPECT_EQ(Files("Backup").size(), 3);
}

TEST_F(DeliveryTest, AnUnreadableFileIsSetAsideOnceAndTheNextOneGoes)
{
    WriteIncoming(QStringLiteral("inc_261210090000.dat"), "");
    WriteIncoming(QStringLiteral("inc_261210090001.dat"), "bob,+905550000002,26/12/10 09:00:01,hello");
    const size_t bob = LogIn(QStringLiteral("bob"));
    delivery.ReadIncomingFile();
    EXPECT_EQ(Pushed(bob).size(), 1);
    EXPECT_EQ(Files("Incoming"), QStringList{QStringLiteral("inc_261210090000.dat.unreadable")});
    delivery.ReadIncomingFile();
    EXPECT_EQ(Log().count("Procedure: ReadIncomingFile"), 1) << Log().constData();
    EXPECT_TRUE(Log().contains("inc_261210090000.dat.unreadable"));
}

TEST_F(DeliveryTest, AClosedConnectionIsNotPushedTo)
{
    const size_t bob = LogIn(QStringLiteral("bob"));
    clients[bob]->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return connections.OnlineUsers().isEmpty(); }, 5000));
    Receive(QStringLiteral("bob are you there"));
    delivery.ReadIncomingFile();
    EXPECT_EQ(Files("Incoming").size(), 1);
    EXPECT_FALSE(Log().contains("Procedure: SendReceivedMsg")) << Log().constData();
}

// The user look-up fails (the databases are closed under it): the message
// is not stored, so the modem keeps it for the next poll, rather than going
// to the moderators.
TEST_F(DeliveryTest, AFailedLookUpLeavesTheMessageInTheModem)
{
    databases.CloseConnections();
    Receive(QStringLiteral("bob private"), false);
    EXPECT_TRUE(Files("Incoming").isEmpty());
    EXPECT_TRUE(Log().contains("\r\nProcedure: oVorbex_SMSReceived")) << Log().constData();

    databases.OpenConnections(folder.path());
    Receive(QStringLiteral("bob private"));
    ASSERT_EQ(Files("Incoming").size(), 1);
    EXPECT_EQ(folder.readFile(QStringLiteral("Incoming/") + Files("Incoming").first()),
              QByteArray("bob,+905551112233,26/12/10 09:30:00,private"));
}

// Pushed, but the move to Backup fails: the message is not pushed again on
// later ticks, only the move is tried, and the failure is logged once.
TEST_F(DeliveryTest, AMessageWhoseMoveFailedIsNotPushedAgain)
{
    const size_t bob = LogIn(QStringLiteral("bob"));
    Receive(QStringLiteral("bob only once"));
    ASSERT_TRUE(QDir(folder.filePath(QStringLiteral("Backup"))).removeRecursively());

    delivery.ReadIncomingFile();
    EXPECT_EQ(Pushed(bob), QStringList{QStringLiteral("bob,+905551112233,26/12/10 09:30:00,only once")});
    delivery.ReadIncomingFile();
    delivery.ReadIncomingFile();
    EXPECT_TRUE(Pushed(bob, 300).isEmpty());
    EXPECT_EQ(Log().count("cannot be moved to Backup"), 1) << Log().constData();
    EXPECT_EQ(Files("Incoming").size(), 1);

    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("Backup")));
    delivery.ReadIncomingFile();
    EXPECT_TRUE(Files("Incoming").isEmpty());
    EXPECT_EQ(Files("Backup").size(), 1);
    EXPECT_TRUE(Pushed(bob, 300).isEmpty());
}
