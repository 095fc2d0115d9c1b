// bench_messagestore [received sent]: fills a user's store with that many
// message files (50,000 and 10,000 by default, and a tenth of that for
// comparison), then times the window against a scripted service: login
// until the inbox list is filled, a second visit of the inbox, a push
// stored and listed; and reports the resident memory. Beside the login it
// times a bare read of the same files, one after another in one thread:
// the floor that the login is measured against.
#include "frmmain.h"
#include "pages.h"
#include "text.h"

#include "common/boxes.h"
#include "platform/inifile.h"
#include "protocol/protocol.h"
#include "sealkit/clscipherbase.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <cstdio>
#include <memory>

namespace {

long ResidentKiB()
{
    QFile status(S(u"/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

QString Line(const char *who, int i)
{
    const int day = 1 + i % 28;
    const int month = 1 + (i / 28) % 12;
    const int year = 20 + (i / 336) % 6;
    return S(u"%1,+90555%2,%3/%4/%5 %6:%7:%8,Message number %9, with a few words of text like a real one")
        .arg(QLatin1String(who)).arg(1000000 + i).arg(year, 2, 10, QLatin1Char('0')).arg(month, 2, 10, QLatin1Char('0'))
        .arg(day, 2, 10, QLatin1Char('0')).arg(i % 24, 2, 10, QLatin1Char('0')).arg(i % 60, 2, 10, QLatin1Char('0'))
        .arg((i * 7) % 60, 2, 10, QLatin1Char('0')).arg(i);
}

void Fill(const QString &folder, const char *who, int from, int count)
{
    QDir().mkpath(folder);
    const sealkit::clsCipherBase cipher;
    for (int i = from; i < from + count; ++i) {
        QFile f(folder + S(u"/%1.sms").arg(i, 8, 10, QLatin1Char('0')));
        f.open(QIODevice::WriteOnly);
        f.write(cipher.Encrypt(Line(who, i), true).toLatin1() + "\r\n");
    }
}

// Opens and reads every file of the user's three folders.
qint64 BareRead(const QString &user)
{
    qint64 bytes = 0;
    for (const char *name : {"sent", "unread", "inbox"}) {
        const QDir folder(user + QLatin1Char('/') + QLatin1String(name));
        for (const QString &file : folder.entryList(QDir::Files, QDir::Name)) {
            QFile f(folder.filePath(file));
            if (f.open(QIODevice::ReadOnly))
                bytes += f.readAll().size();
        }
    }
    return bytes;
}

struct Figures {
    double bareReadMs = 0;
    double loginMs = 0;
    double revisitMs = 0;
    double pushMs = 0;
    long residentKiB = 0;
};

Figures Run(int received, int sent)
{
    QTemporaryDir dir;
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    QDir(dir.path()).mkpath(S(u"lang"));
    QFile::copy(S(u"" CLIENT_LANG_DIR "/en.ini"), dir.filePath(S(u"lang/en.ini")));
    platform::IniFile ini;
    ini.setIniPath(dir.filePath(S(u"TalvinorSMSClient.ini")));
    ini.WriteValue(S(u"SMSClient"), S(u"Language"), S(u"en"));
    ini.WriteValue(S(u"SMSClient"), S(u"ServerIP"), S(u"127.0.0.1"));
    ini.WriteValue(S(u"SMSClient"), S(u"ServerPort"), QString::number(server.serverPort()));
    ini.WriteValue(S(u"SMSClient"), S(u"Sound"), S(u"0"));
    const QString user = dir.filePath(S(u"users/bob"));
    Fill(user + S(u"/unread"), "bob", 0, received / 10);
    Fill(user + S(u"/inbox"), "bob", received / 10, received - received / 10);
    Fill(user + S(u"/sent"), "bob", received, sent);

    Figures figures;
    auto window = std::make_unique<frmMain>(dir.path());
    window->Form_Load();
    window->pageLogin->txtUsername->setText(S(u"bob"));
    window->pageLogin->txtPassword->setText(S(u"pw"));

    QElapsedTimer clock;
    clock.start();
    if (BareRead(user) == 0)
        std::fprintf(stderr, "the bare read found nothing\n");
    figures.bareReadMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;

    clock.restart();
    window->pageLogin->Login();
    server.waitForNewConnection(10000);
    QTcpSocket *socket = server.nextPendingConnection();
    (void)QTest::qWaitFor([&] { return window->connection->LoginPending; }, 10000);
    socket->write(protocol::PrepareDataToSend(protocol::CMD_LOGIN_REPLY,
                                              sealkit::clsCipherBase().Encrypt(S(u"(Connected)|1"), true)).toLatin1());
    socket->flush();
    (void)QTest::qWaitFor([&] { return window->connection->LoggedIn; }, 60000);
    window->ShowPage(2);
    figures.loginMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;

    window->ShowPage(0);
    clock.restart();
    window->ShowPage(2);
    figures.revisitMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;

    const QString push = sealkit::clsCipherBase().Encrypt(S(u"bob,+905551234567,23/06/15 12:00:00,pushed"), true);
    const int rows = window->pageInbox->lvInbox->topLevelItemCount();
    clock.restart();
    window->pageInbox->NewSMSArrived(push);
    figures.pushMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    if (window->pageInbox->lvInbox->topLevelItemCount() != rows + 1)
        std::fprintf(stderr, "the push was not listed\n");
    figures.residentKiB = ResidentKiB();
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    common::SetBoxHandler([](const common::Box &box) {
        std::fprintf(stderr, "box: %s\n", qPrintable(box.text));
        return QMessageBox::Ok;
    });
    const int received = argc > 2 ? QString::fromLocal8Bit(argv[1]).toInt() : 50000;
    const int sent = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 10000;
    std::printf("%10s %8s %12s %12s %8s %12s %10s %12s\n", "received", "sent", "bare read ms", "login ms", "login/read",
                "revisit ms", "push ms", "RSS MiB");
    for (const int scale : {10, 1}) {
        const Figures f = Run(received / scale, sent / scale);
        std::printf("%10d %8d %12.1f %12.1f %8.2fx %12.1f %10.2f %12.1f\n", received / scale, sent / scale, f.bareReadMs,
                    f.loginMs, f.loginMs / f.bareReadMs, f.revisitMs, f.pushMs, static_cast<double>(f.residentKiB) / 1024.0);
    }
    std::printf("goals at 50,000 / 10,000: login within 1.5x of the bare read and under 1000 ms, revisit under 300 ms, "
                "push under 50 ms, RSS under 150 MiB\n");
    return 0;
}
