// gsmsim: a simulated GSM modem on a pseudo-terminal, for tests and the demo.
#include "modemsim.h"
#include "ptymodem.h"
#include "spool.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>

#include <csignal>
#include <memory>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

void report(const QString &text)
{
    std::fprintf(stderr, "gsmsim: %s\n", qPrintable(text));
}

// SIGTERM and SIGINT end the event loop, so the link is turned away on exit.
void QuitOnSignals(QCoreApplication &app)
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    ::sigprocmask(SIG_BLOCK, &signals, nullptr);
    const int fd = ::signalfd(-1, &signals, SFD_CLOEXEC);
    auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [fd, &app] {
        signalfd_siginfo info{};
        if (::read(fd, &info, sizeof info) > 0)
            app.quit();
    });
}

// One JSON object per line for every message the modem accepted.
QByteArray SentRecord(int reference, const simpdu::Submit &submit)
{
    const QJsonObject record{{QStringLiteral("reference"), reference},
                             {QStringLiteral("number"), submit.number},
                             {QStringLiteral("coding"), submit.coding},
                             {QStringLiteral("text"), submit.text}};
    return QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated GSM modem on a pseudo-terminal. Links FOLDER/COMn to the terminal; "
        "messages dropped into the spool folder arrive as received SMS; every SMS sent "
        "through it is written as one JSON line."));
    parser.addHelpOption();
    const QCommandLineOption folderOption(QStringLiteral("folder"),
                                          QStringLiteral("Folder for the COMn link (default: the program folder)."),
                                          QStringLiteral("folder"), QCoreApplication::applicationDirPath());
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port number n (default 1)."),
                                        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption spoolOption(QStringLiteral("spool"),
                                         QStringLiteral("Spool folder (default: FOLDER/gsmsim-spool)."),
                                         QStringLiteral("folder"));
    const QCommandLineOption sentOption(QStringLiteral("sent-log"),
                                        QStringLiteral("Append sent messages to this file (default: stdout)."),
                                        QStringLiteral("file"));
    parser.addOptions({folderOption, portOption, spoolOption, sentOption});
    parser.process(app);

    bool portOk = false;
    const int port = parser.value(portOption).toInt(&portOk);
    if (!portOk || port < 1) {
        report(QStringLiteral("invalid port number %1").arg(parser.value(portOption)));
        return 2;
    }
    const QDir folder(parser.value(folderOption));
    const QString spoolFolder =
        parser.isSet(spoolOption) ? parser.value(spoolOption) : folder.filePath(QStringLiteral("gsmsim-spool"));

    QFile sentLog;
    bool sentLogOpen = false;
    if (parser.isSet(sentOption)) {
        sentLog.setFileName(parser.value(sentOption));
        sentLogOpen = sentLog.open(QIODevice::WriteOnly | QIODevice::Append);
    } else {
        sentLogOpen = sentLog.open(stdout, QIODevice::WriteOnly);
    }
    if (!sentLogOpen) {
        report(QStringLiteral("cannot write the sent log: %1").arg(sentLog.errorString()));
        return 2;
    }

    ModemSim sim;
    QObject::connect(&sim, &ModemSim::CommandExecuted, [](const QString &line) { report(QStringLiteral("< ") + line); });
    QObject::connect(&sim, &ModemSim::MessageSubmitted, [&sentLog](int reference, const simpdu::Submit &submit) {
        sentLog.write(SentRecord(reference, submit));
        sentLog.flush();
        report(QStringLiteral("sent message %1 to %2").arg(reference).arg(submit.number));
    });
    QuitOnSignals(app);
    try {
        const QString link = folder.filePath(QStringLiteral("COM%1").arg(port));
        auto modem = std::make_unique<PtyModem>(sim, link);
        // "unplug" takes the terminal and its link away, "plug" brings a new
        // one; the stored messages stay, as on the modem's SIM.
        Spool spool(sim, spoolFolder, [&](const QString &line) {
            if (line == QLatin1String("unplug")) {
                if (modem)
                    modem->RemoveLink();
                modem.reset();
                return true;
            }
            if (line == QLatin1String("plug")) {
                try {
                    if (!modem)
                        modem = std::make_unique<PtyModem>(sim, link);
                } catch (const std::exception &e) {
                    report(QString::fromLocal8Bit(e.what()));
                    return false;
                }
                return true;
            }
            if (!sim.SetFault(line))
                return false;
            if (modem)
                modem->FollowChatter();
            return true;
        });
        spool.Scan();
        report(QStringLiteral("ready: COM%1 is %2, spool folder %3").arg(port).arg(modem->TerminalName(), spoolFolder));
        return app.exec();
    } catch (const std::exception &e) {
        report(QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
