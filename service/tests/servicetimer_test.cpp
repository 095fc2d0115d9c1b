// The one-second tick polls the modem every sms_check_interval seconds.
// The service here has read its settings but has no modem, so each poll
// shows as the logged failure of Action.
#include "frmmain.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Ticks {
    int polls = 0;
    int failures = 0;
};

// Ticks of a service started afresh with this interval.
Ticks Tick(const char *interval, int ticks)
{
    QTemporaryDir folder;
    QFile ini(folder.filePath(QString::fromLatin1(frmMain::IniFileName)));
    if (!ini.open(QIODevice::WriteOnly))
        return {};
    ini.write(QByteArray("[Service Settings]\nport=0\nsms_check_interval=") + interval + "\n");
    ini.close();

    frmMain service(folder.path());
    // The debug start reads the settings, then fails on the missing databases.
    service.Service_Load(QStringLiteral("--debug"));
    QFile log(folder.filePath(QString::fromLatin1(frmMain::LogFileName)));
    const qint64 before = log.exists() ? log.size() : 0;
    for (int i = 0; i < ticks; ++i)
        service.Service_Process();
    if (!log.open(QIODevice::ReadOnly))
        return {};
    log.seek(before);
    const QByteArray entries = log.readAll();
    return {int(entries.count("Procedure: Action")), int(entries.count("Procedure: Service_Process"))};
}

} // namespace

TEST(ServiceProcess, PollsEveryIntervalCountedFromTheStart)
{
    struct Case { const char *interval; int ticks; int polls; int failures; } cases[] = {
        {"60", 59, 0, 0},
        {"60", 60, 1, 0},
        {"60", 120, 2, 0},
        {"3", 7, 2, 0},
        {"1.5", 4, 2, 0},
        {"0", 3, 3, 0},
        {"-5", 3, 3, 0},
        // Not a number: every tick fails its comparison, the modem is never polled.
        {"soon", 3, 0, 3},
    };
    for (const Case &c : cases) {
        const Ticks t = Tick(c.interval, c.ticks);
        EXPECT_EQ(t.polls, c.polls) << c.interval << " x " << c.ticks;
        EXPECT_EQ(t.failures, c.failures) << c.interval << " x " << c.ticks;
    }
}
