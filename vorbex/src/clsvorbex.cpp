#include "vorbex/clsvorbex.h"

#include "frmmain.h"
#include "runtime.h"

#include "platform/codepage.h"
#include "platform/convert.h"
#include "platform/error.h"
#include "platform/inifile.h"
#include "vorbex/modpdu.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>

namespace vorbex {

namespace {

const QString Section = QStringLiteral("VorbexDll");

} // namespace

clsVorbex::clsVorbex(QObject *parent)
    : QObject(parent), m_folder(runtime::libraryFolder()), m_ini(std::make_unique<platform::IniFile>())
{
    connect(frmMain::instance(), &frmMain::QueueTimer, this, &clsVorbex::QueueTimer);
    m_ini->setIniPath(QDir(m_folder).filePath(QStringLiteral("VorbexDll.ini")));
    m_debug = platform::ToDouble(m_ini->ReadValue(Section, QStringLiteral("Debug"), QStringLiteral("0"))) == 1.0;
    modPDU::InitGsmAlphabet();
    readUndeleted();
    m_port = std::make_shared<SerialPort>(m_folder);
    watchPort();
    m_port->setCommPort(platform::ToInteger(m_ini->ReadValue(Section, QStringLiteral("com_port"), QStringLiteral("1"))));
}

clsVorbex::~clsVorbex() = default;

void clsVorbex::setC(std::shared_ptr<SerialPort> port)
{
    if (!port)
        throw platform::Error(platform::ErrInvalidCall, QStringLiteral("The modem object needs a serial port"));
    m_port = std::move(port);
    watchPort();
}

void clsVorbex::watchPort()
{
    m_port->setNoticeHandler([this](const QString &notice) { Q_EMIT Warning(QStringLiteral("Output"), notice); });
}

SerialPort &clsVorbex::port() const
{
    return *m_port;
}

bool clsVorbex::PortOpen() const
{
    return port().PortOpen();
}

void clsVorbex::setPortOpen(bool open)
{
    port().setPortOpen(open);
}

void clsVorbex::OpenDevice(bool DeviceState)
{
    if (!DeviceState) {
        port().setPortOpen(false);
        return;
    }
    if (!port().PortOpen())
        port().setPortOpen(true);
    m_serviceNumber = m_ini->ReadValue(Section, QStringLiteral("GSMServiceNumber"), QString());
}

void clsVorbex::Output(const QString &S)
{
    port().Output(S);
    Log(S, QStringLiteral("Commands"));
}

void clsVorbex::ATCommand(const QString &S)
{
    if (!port().PortOpen())
        port().setPortOpen(true);
    Output(S + QStringLiteral("\r\n"));
}

bool clsVorbex::event(QEvent *e)
{
    // The waits let the event loop run, and it would carry out a deletion
    // asked for by a handler it ran; the wait would then return into a
    // deleted object.
    if (e->type() == QEvent::DeferredDelete && (m_running || m_waits > 0)) {
        m_deletePending = true;
        return true;
    }
    return QObject::event(e);
}

void clsVorbex::waitEnded()
{
    if (m_deletePending && !m_running && m_waits == 0) {
        m_deletePending = false;
        deleteLater();
    }
}

void clsVorbex::Pause(float nSecond)
{
    ++m_waits;
    const auto done = qScopeGuard([this] {
        --m_waits;
        waitEnded();
    });
    // A monotonic clock: neither midnight nor a change of the system time
    // shortens or stretches the wait.
    const QDeadlineTimer deadline(runtime::waitMs(nSecond), Qt::PreciseTimer);
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    while (!deadline.hasExpired()) {
        // A nested wait may have used up the wake-up; the loop must not sleep
        // past the deadline.
        if (!wake.isActive())
            wake.start(static_cast<int>(deadline.remainingTime()));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

void clsVorbex::LogFile(const QString &Str, const QString &LogFileName)
{
    if (Str.isEmpty())
        return;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyMMddHHmmss"));
    const QString record = stamp + QStringLiteral("\r\n") + Str + QStringLiteral("\r\n") + QString(82, QLatin1Char('-'))
        + QStringLiteral("\r\n");
    QFile file(QDir(m_folder).filePath(LogFileName + QStringLiteral(".log")));
    const QByteArray bytes = platform::codepage::toAnsi(record);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size() || !file.flush())
        throw platform::Error(platform::ErrPathNotFound,
                              QStringLiteral("Cannot write %1: %2").arg(file.fileName(), file.errorString()));
}

void clsVorbex::Log(const QString &Str, const QString &LogFileName)
{
    try {
        LogFile(Str, LogFileName);
        m_logFailing = false;
    } catch (const std::exception &e) {
        if (m_logFailing)
            return;
        m_logFailing = true;
        Q_EMIT Warning(QStringLiteral("LogFile"),
                       platform::describe(e) + QStringLiteral(" (the modem's logs miss records until they can be written again)"));
    }
}

namespace {

QString UndeletedPath(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("Undeleted.lst"));
}

} // namespace

void clsVorbex::readUndeleted()
{
    QFile file(UndeletedPath(m_folder));
    if (!file.open(QIODevice::ReadOnly))
        return; // none yet
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QString pdu = QString::fromLatin1(line.trimmed());
        if (modPDU::IsHexString(pdu))
            m_storedNotDeleted.insert(pdu);
    }
}

void clsVorbex::keepUndeleted()
{
    QByteArray content;
    for (const QString &pdu : std::as_const(m_storedNotDeleted))
        content += pdu.toLatin1() + '\n';
    QSaveFile file(UndeletedPath(m_folder));
    if (file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit()) {
        m_undeletedFailing = false;
        return;
    }
    if (m_undeletedFailing)
        return;
    m_undeletedFailing = true;
    Q_EMIT Warning(QStringLiteral("ComBuffer"),
                   QStringLiteral("Cannot write %1: %2 (a message stored but not yet deleted from the modem may be "
                                  "stored again after a restart)")
                       .arg(file.fileName(), file.errorString()));
}

QList<QRegularExpressionMatch> clsVorbex::RegExp(const QString &myPattern, const QString &myString) const
{
    // (*LF) fixes the line end to LF alone whatever PCRE2 was built with, so
    // "." runs over a CR and "$" stands before the LF.
    const QRegularExpression engine(QStringLiteral("(*LF)") + myPattern,
                                    QRegularExpression::CaseInsensitiveOption
                                        | QRegularExpression::MultilineOption);
    if (!engine.isValid())
        throw platform::Error(platform::ErrInvalidCall,
                              QStringLiteral("Invalid pattern \"%1\": %2").arg(myPattern, engine.errorString()));
    QList<QRegularExpressionMatch> matches;
    for (auto it = engine.globalMatch(myString); it.hasNext();)
        matches.append(it.next());
    return matches;
}

void clsVorbex::enqueue(QueueItem item)
{
    item.serial = m_nextSerial++;
    m_queue.append(std::move(item));
}

void clsVorbex::CommandSendMessage(const QString &phonenumber, const QString &message, bool PhoneNumberFormat,
                                   const QString &tag)
{
    QueueItem item;
    item.kind = Kind::Send;
    item.phonenumber = phonenumber;
    item.message = message;
    item.phoneNumberFormat = PhoneNumberFormat;
    item.tag = tag;
    enqueue(std::move(item));
}

void clsVorbex::CommandReceiveMessage(int Mode, int MsgNo, const QString &phonenumber, const QString &message)
{
    QueueItem item;
    item.kind = Kind::Receive;
    item.mode = Mode;
    item.msgNo = MsgNo;
    item.phonenumber = phonenumber;
    item.message = message;
    enqueue(std::move(item));
}

void clsVorbex::CommandGetIMEI()
{
    QueueItem item;
    item.kind = Kind::Identity;
    enqueue(std::move(item));
}

QStringList clsVorbex::TakeQueuedSends()
{
    QStringList tags;
    QList<QueueItem> kept;
    for (const QueueItem &item : std::as_const(m_queue)) {
        if (item.kind == Kind::Send && item.serial != m_running)
            tags.append(item.tag);
        else
            kept.append(item);
    }
    m_queue = kept;
    return tags;
}

bool clsVorbex::ReceiveWaiting() const
{
    return std::any_of(m_queue.cbegin(), m_queue.cend(),
                       [this](const QueueItem &item) { return item.kind == Kind::Receive && item.serial != m_running; });
}

int clsVorbex::SendsWaiting() const
{
    return static_cast<int>(std::count_if(m_queue.cbegin(), m_queue.cend(), [this](const QueueItem &item) {
        return item.kind == Kind::Send && item.serial != m_running;
    }));
}

void clsVorbex::removeItem(quint64 serial)
{
    m_queue.removeIf([serial](const QueueItem &item) { return item.serial == serial; });
}

void clsVorbex::QueueTimer()
{
    try {
        CheckSMSQueue();
    } catch (const platform::Error &e) {
        Q_EMIT TickFailed(QStringLiteral("CheckSMSQueue"), e.description());
    } catch (const std::exception &e) {
        Q_EMIT TickFailed(QStringLiteral("CheckSMSQueue"), QString::fromLocal8Bit(e.what()));
    }
}

} // namespace vorbex
