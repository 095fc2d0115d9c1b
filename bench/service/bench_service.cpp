// Load on the service's client side: logged-in clients searching a large
// phone book and sending messages at once, on real sockets and real SQLite
// files, beside hostile ones. The service part runs on a thread of its own,
// as the service runs on its own in its process; the clients share the main
// thread.
//
//   bench_service [--seconds 20] [--clients 200] [--contacts 100000] [--rate 10] [--idle 1000]
//
// First the search time is taken for a growing phone book, one search at a
// time, with SQLite's own LIKE, which ignores the case of ASCII letters
// only, and with the service's LIKE, which ignores it for every letter.
// Then `idle` connections open and never log in, and two logged-in clients
// flood searches: one reads its answers, the other never does. All clients
// log in and together issue `rate` searches and `rate` sends a second for
// `seconds` seconds, twice: first with SQLite's LIKE, for comparison, then
// with the service's. Last, the same searches run once more while 3,000
// connections that never log in reconnect as fast as one thread can.
// Goals, with the service's LIKE: the other clients' searches answer in
// under 50 ms at the median and 100 ms at the 99th percentile (also during
// the connection flood), none of their connections is dropped, every send
// leaves its Unsent files, the client that does not read is cut off, and
// nothing else is logged. The memory the process holds (service and clients
// together) is reported. The program ends by itself and exits with 1 when a
// goal is missed.
#include "commandinterpreter.h"
#include "connectionflood.h"
#include "connections.h"
#include "databases.h"
#include "queuefiles.h"
#include "servicelog.h"

#include "platform/codepage.h"
#include "platform/logwriter.h"
#include "protocol/protocol.h"
#include "sealkit/clscipherbase.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <deque>
#include <future>
#include <memory>
#include <random>
#include <sys/resource.h>
#include <vector>

namespace {

const QString Digest = QStringLiteral("0123456789ABCDEF0123456789ABCDEF");
constexpr int GroupSize = 5;
constexpr int Groups = 2000;

struct Options {
    int seconds = 20;
    int clients = 200;
    int contacts = 100000;
    int rate = 10;
    int idle = 1000;
};

// Peak and current resident memory of the process, in MB.
std::pair<double, double> ResidentMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    double peak = 0;
    double now = 0;
    if (!status.open(QIODevice::ReadOnly))
        return {0, 0};
    for (const QByteArray &line : status.readAll().split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() >= 2 && words[0] == "VmHWM:")
            peak = words[1].toDouble() / 1024;
        if (words.size() >= 2 && words[0] == "VmRSS:")
            now = words[1].toDouble() / 1024;
    }
    return {peak, now};
}

[[noreturn]] void Fail(const QString &what)
{
    std::fprintf(stderr, "bench_service: %s\n", qPrintable(what));
    std::exit(2);
}

// Names that occur as whole words only: a search for a last name finds
// about contacts / LastNames rows, so every answer fits one frame.
QStringList Names(int count, std::mt19937 &random)
{
    // With Turkish letters, which the service's LIKE folds one by one.
    static const char16_t *syllables[] = {u"ka", u"ro", u"me", u"lu", u"ti", u"sa", u"no", u"ver", u"dan", u"sel",
                                          u"gur", u"pa", u"zi", u"mon", u"ha", u"tel", u"bo", u"rin", u"yas", u"ek",
                                          u"çe", u"ğı", u"şu", u"ön", u"üz", u"ıl"};
    QStringList names;
    while (names.size() < count) {
        QString name;
        for (int i = 0; i < 4; ++i)
            name += QString::fromUtf16(syllables[random() % std::size(syllables)]);
        name[0] = name[0].toUpper();
        if (!names.contains(name))
            names << name;
    }
    return names;
}

QString ContactNumber(int id)
{
    return QStringLiteral("+9055%1").arg(id, 7, 10, QLatin1Char('0'));
}

int GroupMember(int group, int k, int contacts)
{
    return ((group - 1) * GroupSize + k) % contacts + 1;
}

class PhonebookWriter {
public:
    explicit PhonebookWriter(const QString &folder) : m_db(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench")))
    {
        m_db.setDatabaseName(folder + QStringLiteral("/db/phonebook.db"));
        if (!m_db.open())
            Fail(m_db.lastError().text());
    }
    void Run(const QString &statement, const QVariantList &values = {})
    {
        QSqlQuery query(m_db);
        query.prepare(statement);
        for (const QVariant &v : values)
            query.addBindValue(v);
        if (!query.exec())
            Fail(query.lastError().text());
    }
    // Contacts up to `count`, IDs 1..count.
    void GrowTo(int count, const QStringList &firstNames, const QStringList &lastNames, const QStringList &companies)
    {
        m_db.transaction();
        for (; m_contacts < count; ++m_contacts) {
            const int id = m_contacts + 1;
            Run(QStringLiteral("INSERT INTO Contact (ID, FirstName, LastName, Company, Phonenumber) VALUES (?, ?, ?, ?, ?)"),
                {id, firstNames[id % firstNames.size()], lastNames[(id * 7) % lastNames.size()],
                 companies[(id * 13) % companies.size()], ContactNumber(id)});
        }
        m_db.commit();
    }
    void AddGroups(int contacts)
    {
        m_db.transaction();
        for (int g = 1; g <= Groups; ++g) {
            Run(QStringLiteral("INSERT INTO Groups (ID, GroupName) VALUES (?, ?)"), {g, QStringLiteral("Team %1").arg(g)});
            for (int k = 0; k < GroupSize; ++k)
                Run(QStringLiteral("INSERT INTO ContactGroupLink (GroupID, ContactID) VALUES (?, ?)"),
                    {g, GroupMember(g, k, contacts)});
        }
        m_db.commit();
    }

private:
    QSqlDatabase m_db;
    int m_contacts = 0;
};

void AddUsers(const QString &folder, int count)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-users"));
    db.setDatabaseName(folder + QStringLiteral("/db/application.db"));
    if (!db.open())
        Fail(db.lastError().text());
    db.transaction();
    for (int i = 1; i <= count; ++i) {
        QSqlQuery query(db);
        query.prepare(QStringLiteral("INSERT INTO Users (UserName, UserPassword, FirstName, LastName, ModeratorAccess, "
                                     "ManualNumberPermission) VALUES (?, ?, 'Bench', 'User', 0, 1)"));
        query.addBindValue(QStringLiteral("user%1").arg(i));
        query.addBindValue(Digest);
        if (!query.exec())
            Fail(query.lastError().text());
    }
    db.commit();
}

// The service side on its own thread with its own event loop.
class ServiceThread : public QThread {
public:
    explicit ServiceThread(QString folder) : m_folder(std::move(folder)) {}
    quint16 Port() { return m_port.get_future().get(); }

    // Puts SQLite's own LIKE (ASCII letters only) on the phone-book
    // connection, or opens the connections afresh with the service's one.
    void UseSqliteLike(bool sqliteLike)
    {
        QMetaObject::invokeMethod(m_context, [this, sqliteLike] {
            if (sqliteLike)
                RunStatement(m_databases->PhonebookConnection(), QStringLiteral("PRAGMA case_sensitive_like = 0"));
            else
                m_databases->OpenConnections(m_folder);
        }, Qt::BlockingQueuedConnection);
    }

protected:
    void run() override
    {
        platform::LogWriter logFile;
        logFile.setLogFolder(m_folder);
        logFile.setLogName(QStringLiteral("TalvinorSMSSvc.log"));
        ServiceLog log(logFile);
        Databases databases(log);
        databases.OpenConnections(m_folder);
        QObject context;
        m_context = &context;
        m_databases = &databases;
        QTcpServer server;
        // As the service listens.
        server.setListenBacklogSize(1024);
        server.listen(QHostAddress::LocalHost, 0);
        Connections connections(log);
        connections.Listen(server);
        sealkit::clsCipherBase cipher;
        QRandomGenerator random(1);
        CommandInterpreter interpreter(connections, databases, log, cipher, [&](const QString &line) {
            WriteUnsentFile(m_folder, random, log, line);
        });
        connections.SetCommandHandler(
            [&interpreter](const QString &message, qint16 index) { interpreter.ExecuteCommand(message, index); });
        m_port.set_value(server.serverPort());
        exec();
    }

private:
    QString m_folder;
    std::promise<quint16> m_port;
    QObject *m_context = nullptr;
    Databases *m_databases = nullptr;
};

class BenchClient {
public:
    BenchClient(quint16 port, int user, std::vector<double> &latencies) : m_user(user), m_latencies(latencies)
    {
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] { OnData(); });
        QObject::connect(&m_socket, &QTcpSocket::disconnected, [this] { m_dropped = true; });
        QObject::connect(&m_socket, &QTcpSocket::connected, [this] {
            Send(protocol::CMD_LOGIN, QStringLiteral("user%1^").arg(m_user) + Digest);
        });
        // Each from an address of its own, as from the office's machines.
        m_socket.bind(QHostAddress(QStringLiteral("127.0.2.%1").arg(1 + user % 250)));
        m_socket.connectToHost(QHostAddress::LocalHost, port);
    }
    void Search(const QString &text)
    {
        m_searchStarted.push_back(Clock().nsecsElapsed());
        Send(protocol::CMD_PHONEBOOK_SEARCH, text);
    }
    void Send(qint16 code, const QString &data) { m_socket.write(protocol::PrepareDataToSend(code, data).toLatin1()); }
    bool LoggedIn() const { return m_loggedIn; }
    bool Dropped() const { return m_dropped; }
    size_t PendingSearches() const { return m_searchStarted.size(); }
    qsizetype LastResultRecords() const { return m_lastRecords; }

    static QElapsedTimer &Clock()
    {
        static QElapsedTimer clock;
        if (!clock.isValid())
            clock.start();
        return clock;
    }

private:
    void OnData()
    {
        m_buffer.Append(platform::codepage::fromAnsi(m_socket.readAll()));
        while (const auto message = m_buffer.NextMessage()) {
            const auto m = protocol::DecodeMessage(*message);
            if (!m)
                continue;
            if (m->code == protocol::CMD_LOGIN_REPLY)
                m_loggedIn = true;
            if (m->code == protocol::CMD_PHONEBOOK_RESULT && !m_searchStarted.empty()) {
                m_latencies.push_back(double(Clock().nsecsElapsed() - m_searchStarted.front()) / 1e6);
                m_searchStarted.pop_front();
                m_lastRecords = m->data.isEmpty() ? 0 : m->data.count(QLatin1Char('|')) + 1;
            }
        }
    }

    int m_user;
    std::vector<double> &m_latencies;
    QTcpSocket m_socket;
    protocol::ReceiveBuffer m_buffer;
    std::deque<qint64> m_searchStarted;
    bool m_loggedIn = false;
    bool m_dropped = false;
    qsizetype m_lastRecords = 0;
};

template <typename Pred>
bool WaitFor(Pred pred, int timeoutMs)
{
    // Sleeping between events: spinning over a thousand sockets would take
    // the processor from the service being measured.
    QTimer poke;
    poke.start(5);
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(p * double(values.size() - 1) + 0.5);
    return values[std::min(rank, values.size() - 1)];
}

qsizetype CountFiles(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files).size();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("Length of the load phase."), QStringLiteral("n"), QStringLiteral("20"));
    const QCommandLineOption clients(QStringLiteral("clients"), QStringLiteral("Logged-in clients."), QStringLiteral("n"), QStringLiteral("200"));
    const QCommandLineOption contacts(QStringLiteral("contacts"), QStringLiteral("Contacts in the phone book."), QStringLiteral("n"), QStringLiteral("100000"));
    const QCommandLineOption rate(QStringLiteral("rate"), QStringLiteral("Searches and sends a second, each."), QStringLiteral("n"), QStringLiteral("10"));
    const QCommandLineOption idle(QStringLiteral("idle"), QStringLiteral("Connections that never log in."), QStringLiteral("n"), QStringLiteral("1000"));
    parser.addOptions({seconds, clients, contacts, rate, idle});
    parser.process(app);
    Options o;
    o.seconds = parser.value(seconds).toInt();
    o.clients = parser.value(clients).toInt();
    o.contacts = parser.value(contacts).toInt();
    o.rate = parser.value(rate).toInt();
    o.idle = parser.value(idle).toInt();
    // Both ends of every connection live in this process.
    rlimit fileLimit{};
    getrlimit(RLIMIT_NOFILE, &fileLimit);
    fileLimit.rlim_cur = fileLimit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &fileLimit);

    QTemporaryDir folder;
    QDir(folder.path()).mkdir(QStringLiteral("Unsent"));
    QDir(folder.path()).mkdir(QStringLiteral("Sent"));
    QProcess createdb;
    createdb.start(QStringLiteral("cmake"), {QStringLiteral("-DDB_FOLDER=") + folder.filePath(QStringLiteral("db")),
                                             QStringLiteral("-P"), QStringLiteral(TALVINOR_SCHEMA_DIR "/createdb.cmake")});
    if (!createdb.waitForFinished(60000) || createdb.exitCode() != 0)
        Fail(QStringLiteral("creating the databases failed"));

    std::mt19937 random(42);
    const QStringList firstNames = Names(100, random);
    const QStringList lastNames = Names(1000, random);
    const QStringList companies = Names(500, random);
    PhonebookWriter phonebook(folder.path());
    AddUsers(folder.path(), o.clients + 2);

    ServiceThread service(folder.path());
    service.start();
    const quint16 port = service.Port();
    const auto randomName = [&] { return lastNames[static_cast<qsizetype>(random() % lastNames.size())]; };

    // Search time as the phone book grows, one search at a time.
    std::printf("phone book growth, one client, one search at a time:\n");
    {
        std::vector<double> latencies;
        BenchClient probe(port, 1, latencies);
        if (!WaitFor([&] { return probe.LoggedIn(); }, 10000))
            Fail(QStringLiteral("the probe client did not log in"));
        std::vector<int> sizes;
        for (int size = 1000; size < o.contacts; size *= 10)
            sizes.push_back(size);
        sizes.push_back(o.contacts);
        for (int size : sizes) {
            phonebook.GrowTo(size, firstNames, lastNames, companies);
            for (const bool sqliteLike : {true, false}) {
                service.UseSqliteLike(sqliteLike);
                latencies.clear();
                qsizetype records = 0;
                for (int i = 0; i < 30; ++i) {
                    probe.Search(randomName());
                    if (!WaitFor([&] { return probe.PendingSearches() == 0; }, 10000))
                        Fail(QStringLiteral("a search was not answered"));
                    records += probe.LastResultRecords();
                }
                std::printf("  %7d contacts, %-16s median %7.2f ms, max %7.2f ms, %lld records per answer\n", size,
                            sqliteLike ? "ASCII LIKE:" : "case-blind LIKE:", Percentile(latencies, 0.5),
                            Percentile(latencies, 1.0), static_cast<long long>(records / 30));
            }
        }
    }
    phonebook.AddGroups(o.contacts);

    // The hostile ones first: idle connections and a client flooding
    // searches for whole companies.
    std::vector<std::unique_ptr<QTcpSocket>> idlers;
    // From a hundred addresses, as many machines of an office would be,
    // each within its share of connections not logged in.
    for (int i = 0; i < o.idle; ++i) {
        idlers.push_back(std::make_unique<QTcpSocket>());
        idlers.back()->bind(QHostAddress(QStringLiteral("127.0.1.%1").arg(1 + i % 100)));
        idlers.back()->connectToHost(QHostAddress::LocalHost, port);
    }
    if (!WaitFor([&] { return std::all_of(idlers.begin(), idlers.end(), [](const auto &s) { return s->state() == QAbstractSocket::ConnectedState; }); }, 30000))
        Fail(QStringLiteral("not every idle connection was made"));
    std::vector<double> floodLatencies;
    BenchClient flooder(port, o.clients + 1, floodLatencies);
    if (!WaitFor([&] { return flooder.LoggedIn(); }, 10000))
        Fail(QStringLiteral("the flooding client did not log in"));
    qsizetype floods = 0;
    QTimer flood;
    flood.setInterval(2);
    const auto company = [&] { return companies[static_cast<qsizetype>(random() % companies.size())]; };
    QObject::connect(&flood, &QTimer::timeout, [&] {
        while (flooder.PendingSearches() < 16) {
            flooder.Search(company());
            ++floods;
        }
    });
    flood.start();

    // All clients at once.
    std::vector<double> latencies;
    std::vector<std::unique_ptr<BenchClient>> users;
    for (int i = 1; i <= o.clients; ++i)
        users.push_back(std::make_unique<BenchClient>(port, i, latencies));
    if (!WaitFor([&] { return std::all_of(users.begin(), users.end(), [](const auto &u) { return u->LoggedIn(); }); }, 30000))
        Fail(QStringLiteral("not every client logged in"));

    const auto pick = [&] { return users[random() % users.size()].get(); };
    qsizetype searches = 0;
    qsizetype sends = 0;
    qsizetype expectedFiles = 0;
    QTimer tick;
    tick.setInterval(1000 / o.rate);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        pick()->Search(randomName());
        ++searches;
        const int contact = static_cast<int>(random() % o.contacts) + 1;
        const int group = static_cast<int>(random() % Groups) + 1;
        bool contactInGroup = false;
        for (int k = 0; k < GroupSize; ++k)
            contactInGroup = contactInGroup || GroupMember(group, k, o.contacts) == contact;
        // A typed number of its own, a contact and a group.
        pick()->Send(protocol::CMD_SEND_SMS, QStringLiteral("+9099%1^%2|0|%3|1^Bench message %1").arg(sends).arg(contact).arg(group));
        expectedFiles += 1 + GroupSize + (contactInGroup ? 0 : 1);
        ++sends;
    });
    const QString unsent = folder.filePath(QStringLiteral("Unsent"));
    // One load phase; its searches and their answer times.
    const auto runLoad = [&] {
        latencies.clear();
        searches = 0;
        QElapsedTimer phase;
        phase.start();
        tick.start();
        WaitFor([&] { return phase.elapsed() >= o.seconds * 1000LL; }, o.seconds * 1000 + 1000);
        tick.stop();
        WaitFor([&] {
            return CountFiles(unsent) >= expectedFiles
                && std::all_of(users.begin(), users.end(), [](const auto &u) { return u->PendingSearches() == 0; });
        }, 10000);
        return std::pair{searches, latencies};
    };
    service.UseSqliteLike(true);
    const auto [asciiSearches, asciiLatencies] = runLoad();
    service.UseSqliteLike(false);
    runLoad();
    flood.stop();
    const double loadPeakMb = ResidentMemory().first;

    // Then a client that sends searches without ever reading an answer: the
    // answers it leaves may not grow the service without bound.
    QTcpSocket deaf;
    deaf.setReadBufferSize(1);
    deaf.connectToHost(QHostAddress::LocalHost, port);
    if (!WaitFor([&] { return deaf.state() == QAbstractSocket::ConnectedState; }, 10000))
        Fail(QStringLiteral("the client that does not read did not connect"));
    deaf.write(protocol::PrepareDataToSend(protocol::CMD_LOGIN, QStringLiteral("user%1^").arg(o.clients + 2) + Digest).toLatin1());
    QElapsedTimer deafTime;
    deafTime.start();
    qsizetype deafSearches = 0;
    QTimer deafFlood;
    deafFlood.setInterval(2);
    QObject::connect(&deafFlood, &QTimer::timeout, [&] {
        if (deaf.state() != QAbstractSocket::ConnectedState || deaf.bytesToWrite() > 100000)
            return;
        for (int i = 0; i < 16; ++i, ++deafSearches)
            deaf.write(protocol::PrepareDataToSend(protocol::CMD_PHONEBOOK_SEARCH, company()).toLatin1());
    });
    deafFlood.start();
    WaitFor([&] { return deaf.state() != QAbstractSocket::ConnectedState; }, 120000);
    deafFlood.stop();
    const qint64 deafMs = deafTime.elapsed();

    const qsizetype files = CountFiles(unsent);
    const auto dropped = std::count_if(users.begin(), users.end(), [](const auto &u) { return u->Dropped(); });
    const double median = Percentile(latencies, 0.5);
    const double p99 = Percentile(latencies, 0.99);
    QFile logFile(folder.filePath(QStringLiteral("TalvinorSMSSvc.log")));
    const QByteArray logged = logFile.open(QIODevice::ReadOnly) ? logFile.readAll() : QByteArray();
    const qsizetype entries = logged.count("Procedure: ");
    const bool deafCutOff = logged.contains("bytes of replies unread") && deaf.state() != QAbstractSocket::ConnectedState;
    const qsizetype idleDropped = std::count_if(idlers.begin(), idlers.end(), [](const auto &s) { return s->state() != QAbstractSocket::ConnectedState; });
    const auto [peakMb, nowMb] = ResidentMemory();

    // Last, the same searches while an attacker holds 3,000 connections
    // that never log in and reconnects each one the service closes.
    std::vector<double> floodedLatencies;
    qsizetype floodedSearches = 0;
    qsizetype stillPending = 0;
    int reconnects = 0;
    {
        ConnectionFlood attack(port, 3000, 100);
        WaitFor([&] { return attack.reconnects() > 3000; }, 30000);
        std::swap(latencies, floodedLatencies);
        QTimer searchTick;
        searchTick.setInterval(1000 / o.rate);
        QObject::connect(&searchTick, &QTimer::timeout, [&] {
            pick()->Search(randomName());
            ++floodedSearches;
        });
        QElapsedTimer flooded;
        flooded.start();
        searchTick.start();
        WaitFor([&] { return flooded.elapsed() >= o.seconds * 1000LL; }, o.seconds * 1000 + 1000);
        searchTick.stop();
        WaitFor([&] { return std::all_of(users.begin(), users.end(), [](const auto &u) { return u->PendingSearches() == 0; }); },
                10000);
        reconnects = attack.reconnects();
        stillPending = 0;
        for (const auto &u : users)
            stillPending += static_cast<qsizetype>(u->PendingSearches());
        std::swap(latencies, floodedLatencies);
    }
    const double floodedP99 = Percentile(floodedLatencies, 0.99);
    const auto droppedInFlood = std::count_if(users.begin(), users.end(), [](const auto &u) { return u->Dropped(); }) - dropped;

    std::printf("load: %d clients, %d contacts, %d groups, twice %d s at %d searches and %d sends a second\n", o.clients,
                o.contacts, Groups, o.seconds, o.rate, o.rate);
    std::printf("  searches, case-blind LIKE: %lld issued, %zu answered; median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                static_cast<long long>(searches), latencies.size(), median, p99, Percentile(latencies, 1.0));
    std::printf("  searches, ASCII LIKE:      %lld issued, %zu answered; median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                static_cast<long long>(asciiSearches), asciiLatencies.size(), Percentile(asciiLatencies, 0.5),
                Percentile(asciiLatencies, 0.99), Percentile(asciiLatencies, 1.0));
    std::printf("  sends: %lld requests, %lld Unsent files expected, %lld found\n", static_cast<long long>(sends),
                static_cast<long long>(expectedFiles), static_cast<long long>(files));
    std::printf("  beside them: %d idle connections (%lld closed), a flooder with %lld searches (%zu answered, median %.2f ms)\n",
                o.idle, static_cast<long long>(idleDropped), static_cast<long long>(floods), floodLatencies.size(),
                Percentile(floodLatencies, 0.5));
    std::printf("  afterwards a client sending searches and never reading: %s after %lld searches, %.1f s\n",
                deafCutOff ? "cut off" : "NOT cut off", static_cast<long long>(deafSearches), double(deafMs) / 1000);
    std::printf("  connections dropped: %lld; service log: %lld bytes, %lld entries\n", static_cast<long long>(dropped),
                static_cast<long long>(logged.size()), static_cast<long long>(entries));
    std::printf("  memory of the process (service and all clients): peak %.1f MB under load, %.1f MB at the end (now %.1f MB)\n",
                loadPeakMb, peakMb, nowMb);
    if (!logged.isEmpty())
        std::printf("%s\n", logged.left(2000).constData());
    std::printf("search p99 of %d clients: %.2f ms without a connection flood, %.2f ms with one (goal under 100 ms "
                "with it); %lld of %lld searches answered in the flood (%lld unanswered after 10 s), %d reconnections, %lld "
                "clients dropped\n",
                o.clients, p99, floodedP99, static_cast<long long>(floodedLatencies.size()),
                static_cast<long long>(floodedSearches), static_cast<long long>(stillPending), reconnects,
                static_cast<long long>(droppedInFlood));

    const bool met = median < 50 && p99 < 100 && dropped == 0 && files == expectedFiles
        && static_cast<qsizetype>(latencies.size()) == searches && deafCutOff && entries == 1 && idleDropped == 0
        && !flooder.Dropped() && floodedP99 < 100 && droppedInFlood == 0
        && static_cast<qsizetype>(floodedLatencies.size()) == floodedSearches;
    std::printf("goals %s\n", met ? "met" : "MISSED");

    users.clear();
    service.quit();
    service.wait();
    return met ? 0 : 1;
}
