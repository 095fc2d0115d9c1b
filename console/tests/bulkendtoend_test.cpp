// Bulk sends from the real window reach the installed service on the
// simulated modem: every file is whole when it appears, names arrive in
// the coding they need, files wait outside the bulk hours, and a console
// killed during a send leaves only files that no reader takes.
#include "bulktest.h"
#include "text.h"

#include <QJsonObject>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <atomic>
#include <thread>

namespace {

// Reads every Unsent file it finds, as a second reader beside the service,
// until it is stopped; counts the files it found that were not whole.
class UnsentWatcher {
public:
    explicit UnsentWatcher(const QString &folder)
        : m_thread([this, folder] {
              while (!m_stop) {
                  QStringList names;
                  try {
                      names = ListQueueFiles(folder);
                  } catch (...) {
                  }
                  for (const QString &name : names) {
                      QFile file(QDir(folder).filePath(name));
                      if (!file.open(QIODevice::ReadOnly))
                          continue;  // moved to Sent meanwhile
                      const QByteArray bytes = file.readAll();
                      ++m_reads;
                      const bool whole = bytes.endsWith("\r\n") && bytes.count('\n') == 1
                          && !ReadSmsRecord(QString::fromLatin1(bytes.chopped(2))).Message.isEmpty();
                      if (!whole)
                          ++m_partial;
                  }
                  std::this_thread::yield();
              }
          })
    {
    }
    ~UnsentWatcher() { Stop(); }

    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    int reads() const { return m_reads; }
    int partial() const { return m_partial; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_reads{0};
    std::atomic<int> m_partial{0};
    std::thread m_thread;
};

class BulkEndToEnd : public BulkTabTest {
protected:
    void StartService(const QString &allowedTimeInterval)
    {
        ASSERT_TRUE(gateway.start({{S(u"sms_check_interval"), S(u"60")}, {S(u"allowed_time_interval"), allowedTimeInterval}}));
    }

    void TearDown() override { EXPECT_TRUE(gateway.stop()); }

    QByteArray ServiceLog() const { return folder.readFile(S(u"TalvinorSMSSvc.log")); }

    ServiceOnModem gateway{folder};
};

TEST_F(BulkEndToEnd, ATurkishNameArrivesInUcs2AndAPlainOneInSevenBitsEachGreetedByName)
{
    StartService(S(u"00:00,23:59"));
    ASSERT_TRUE(StartOnBulkTab());
    UnsentWatcher watcher(Unsent());
    ImportRows({{S(u"Şule Yılmaz"), S(u"532 123 45 67")}, {S(u"Ali Veli"), S(u"+90 532 987 65 43")}});
    TypeMessage(S(u"Merhaba [[N]]\nYarin toplanti var"));
    Send();
    ExpectOneBox(QMessageBox::Information, "information", "sms_will_be_sent_to_all_contacts_in_the_list");

    ASSERT_TRUE(gateway.modem().waitForSent(2)) << ServiceLog().constData();
    watcher.Stop();
    EXPECT_EQ(watcher.partial(), 0);
    const QList<QJsonObject> sent = gateway.modem().sentMessages();
    ASSERT_EQ(sent.size(), 2);
    QMap<QString, QJsonObject> byNumber;
    for (const QJsonObject &message : sent)
        byNumber[message[S(u"number")].toString().remove(u'+')] = message;
    ASSERT_TRUE(byNumber.contains(S(u"05321234567"))) << gateway.modem().sentLog().constData();
    ASSERT_TRUE(byNumber.contains(S(u"905329876543"))) << gateway.modem().sentLog().constData();
    EXPECT_EQ(byNumber[S(u"05321234567")][S(u"coding")].toString(), S(u"08"));
    EXPECT_EQ(byNumber[S(u"05321234567")][S(u"text")].toString(), S(u"Merhaba Şule Yılmaz\nYarin toplanti var"));
    EXPECT_EQ(byNumber[S(u"905329876543")][S(u"coding")].toString(), S(u"00"));
    EXPECT_EQ(byNumber[S(u"905329876543")][S(u"text")].toString(), S(u"Merhaba Ali Veli\nYarin toplanti var"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ListQueueFiles(Unsent()).isEmpty(); }, 20000));
}

TEST_F(BulkEndToEnd, FilesWaitOutsideTheBulkHoursAndNoneIsEverSeenHalfWritten)
{
    // A one-minute window half a day away.
    const QTime away = QTime::currentTime().addSecs(12 * 3600);
    const QString hours = away.toString(S(u"HH:mm"));
    StartService(hours + u',' + hours);
    ASSERT_TRUE(StartOnBulkTab());

    std::vector<std::pair<QString, QString>> rows;
    for (int i = 0; i < 300; ++i)
        rows.emplace_back(S(u"Kişi %1").arg(i), S(u"0532%1").arg(i, 7, 10, QLatin1Char('0')));
    ImportRows(rows);
    TypeMessage(S(u"Merhaba [[N]]"));
    UnsentWatcher watcher(Unsent());
    Send();
    ExpectOneBox(QMessageBox::Information, "information", "sms_will_be_sent_to_all_contacts_in_the_list");

    // A user's message queued after them goes out; the bulk files stay.
    CreateQueueFile(Unsent(), UnsentFileContent(S(u"bob,05551112233,24/01/02 10:11:12,user hello")),
                    [] { return S(u"zz-user.dat"); });
    ASSERT_TRUE(gateway.modem().waitForSent(1)) << ServiceLog().constData();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(QDir(Unsent()).filePath(S(u"zz-user.dat"))); }, 20000));
    watcher.Stop();
    EXPECT_TRUE(gateway.modem().sentLog().contains("user hello"));
    EXPECT_FALSE(gateway.modem().sentLog().contains("Merhaba"));
    EXPECT_EQ(ListQueueFiles(Unsent()).size(), 300);
    EXPECT_EQ(UnsentEntries(), ListQueueFiles(Unsent()));
    EXPECT_GE(watcher.reads(), 300);
    EXPECT_EQ(watcher.partial(), 0);
}

TEST_F(BulkEndToEnd, AConsoleKilledDuringASendLeavesOnlyFilesThatNoReaderTakes)
{
    StartService(S(u"00:00,23:59"));
    QProcess console;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(S(u"QT_QPA_PLATFORM"), S(u"offscreen"));
    console.setProcessEnvironment(environment);
    console.setProgram(QDir(QCoreApplication::applicationDirPath()).filePath(S(u"console_bulkkill_helper")));
    console.setArguments({folder.path()});
    console.start();
    QByteArray said;
    while (!said.contains('\n') && console.waitForReadyRead(60000))
        said += console.readAllStandardOutput();
    ASSERT_EQ(said, QByteArray("aside\n")) << console.readAllStandardError().constData();
    console.kill();
    ASSERT_TRUE(console.waitForFinished(30000));

    const QStringList left = UnsentEntries();
    EXPECT_GE(left.size(), 32);
    EXPECT_EQ(left.filter(QRegularExpression(S(u"^\\..*\\.tmp$"))), left);
    EXPECT_EQ(ListQueueFiles(Unsent()), QStringList());

    // The service goes on: a file queued now is sent, and the files the
    // console left stay where they are, untouched.
    CreateQueueFile(Unsent(), UnsentFileContent(S(u"[Bulk],05551112233,24/01/02 10:11:12,after the kill")),
                    [] { return S(u"zz-after.dat"); });
    ASSERT_TRUE(gateway.modem().waitForSent(1)) << ServiceLog().constData();
    EXPECT_TRUE(QTest::qWaitFor([&] { return UnsentEntries() == left; }, 20000)) << UnsentEntries().join(u' ').toStdString();
    EXPECT_EQ(gateway.modem().sentMessages().size(), 1);
    EXPECT_TRUE(gateway.modem().sentLog().contains("after the kill"));
}

} // namespace
