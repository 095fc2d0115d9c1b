#include "delivery.h"

#include "commandinterpreter.h"
#include "connections.h"
#include "databases.h"
#include "servicelog.h"

#include "platform/error.h"
#include "protocol/protocol.h"
#include "sealkit/clscipherbase.h"

#include <QDateTime>
#include <QFile>

namespace {

constexpr auto Moderator = "Moderator";

// "yy/mm/dd hh:nn:ss" from the modem's digits yymmddhhnnss (a time-zone
// pair after them is dropped).
QString MessageDateOf(const QString &datetime)
{
    const auto pair = [&](int at) { return datetime.mid(at, 2); };
    return pair(0) + QLatin1Char('/') + pair(2) + QLatin1Char('/') + pair(4) + QLatin1Char(' ') + pair(6)
        + QLatin1Char(':') + pair(8) + QLatin1Char(':') + pair(10);
}

} // namespace

Delivery::Delivery(const QString &programFolder, ServiceLog &log, Databases &databases, Connections &connections,
                   const sealkit::clsCipherBase &cipher)
    : m_incoming(QueueFolder(programFolder, IncomingFolder)),
      m_backup(QueueFolder(programFolder, BackupFolder)),
      m_log(log),
      m_databases(databases),
      m_connections(connections),
      m_cipher(cipher)
{
}

void Delivery::oVorbex_SMSReceived(const QString &, const QString &, const QString &, const QString &datetime,
                                   const QString &phonenumber, const QString &message, bool &stored)
{
    stored = false;
    try {
        SmsRecord record;
        const qsizetype blank = message.indexOf(QLatin1Char(' '));
        // A look-up that fails raises: the message stays in the modem and
        // comes again, rather than going to the moderators by mistake.
        if (blank >= 1 && m_databases.UserExists(message.left(blank))) {
            record.Whose = message.left(blank);
            record.Message = message.mid(blank + 1);
        } else {
            record.Whose = QString::fromLatin1(Moderator);
            record.Message = message;
        }
        record.Number = phonenumber;
        record.MessageDate = MessageDateOf(datetime);
        const QString line = SmsRecordLine(record);
        const QString stamp = FileStamp(QDateTime::currentDateTime());
        int attempt = 0;
        CreateQueueFile(m_incoming, IncomingFileContent(line), [&] { return NextIncomingName(stamp, attempt); });
        stored = true;
    } catch (const std::exception &e) {
        m_log.LogServiceError(platform::describe(e), QStringLiteral("oVorbex_SMSReceived"));
    }
}

// "inc_<stamp>.dat" first; a second message of the same second gets
// "inc_<stamp>-2.dat" and so on. A name that an archived file has already
// taken in Backup is skipped too, since the archive step would find it there
// and never move the new file.
QString Delivery::NextIncomingName(const QString &stamp, int &attempt) const
{
    for (;;) {
        ++attempt;
        const QString name = attempt == 1 ? IncomingFileName(stamp)
                                          : QStringLiteral("inc_%1-%2.dat").arg(stamp).arg(attempt);
        if (!QFile::exists(m_backup + QLatin1Char('/') + name))
            return name;
    }
}

void Delivery::ReadIncomingFile()
{
    try {
        for (const QString &name : ListQueueFiles(m_incoming)) {
            if (m_passedOver.contains(name))
                continue;
            if (m_pushed.contains(name)) {
                RetryArchive(name);
                continue;
            }
            QString line;
            try {
                line = ReadFirstLine(m_incoming + QLatin1Char('/') + name);
            } catch (const platform::Error &e) {
                SetAsideOrPassOver(m_incoming, name, QStringLiteral("unreadable"),
                                   QStringLiteral("Cannot read %1: %2").arg(name, e.description()), m_passedOver, m_log,
                                   QStringLiteral("ReadIncomingFile"));
                continue;
            }
            clsSMS record = NewSMStcp();
            record.setFfname(name);
            FillRecord(record, ReadSmsRecord(line));
            if (SendReceivedMsg(record))
                return;
        }
    } catch (const std::exception &e) {
        m_log.LogServiceError(platform::describe(e), QStringLiteral("ReadIncomingFile"));
    }
}

bool Delivery::SendReceivedMsg(const clsSMS &record)
{
    bool result = false;
    bool delivered = false;
    bool archived = false;
    try {
        const QList<Connections::OnlineUser> entries = m_connections.OnlineUsers();
        const QString line = SmsRecordLine({record.Whose(), record.Number(), record.MessageDate(), record.Message()});
        for (const Connections::OnlineUser &entry : entries) {
            const qint16 index = entry.index;
            if (record.Whose().isEmpty())
                continue;
            const QString user = m_connections.Tag(index).remove(QLatin1Char(':')).trimmed();
            const bool connected = m_connections.IsConnected(index);
            if (user.compare(record.Whose(), Qt::CaseInsensitive) == 0) {
                if (!connected)
                    continue;
                Push(index, line);
                delivered = true;
            } else if (record.Whose() == QLatin1String(Moderator) && connected && !delivered
                       && m_databases.ModeratorCheck(user)) {
                Push(index, line);
            } else {
                continue;
            }
            if (!archived)
                Archive(record.Ffname());
            archived = true;
            result = true;
        }
    } catch (const std::exception &e) {
        m_log.LogServiceError(platform::describe(e), QStringLiteral("SendReceivedMsg"));
    }
    return result;
}

void Delivery::Push(qint16 index, const QString &line)
{
    const QString frame = PrepareDataToSend(m_log, protocol::CMD_NEW_SMS, m_cipher.Encrypt(line, true));
    if (frame.isEmpty()) // already logged; the message stays in Incoming
        throw platform::Error(platform::ErrInvalidCall, QStringLiteral("The message could not be framed"));
    m_connections.SendData(index, frame);
}

// After the first push of a message. A move that fails is remembered: the
// message is not pushed again, only the move is tried on later ticks, and
// it is logged once.
void Delivery::Archive(const QString &ffname)
{
    try {
        MoveQueueFile(m_incoming, ffname, m_backup, ffname);
    } catch (const platform::Error &e) {
        m_pushed.insert(ffname);
        m_log.LogServiceError(
            QStringLiteral("%1 was delivered but cannot be moved to Backup: %2. It is not delivered again; the move "
                           "is tried again on later ticks.")
                .arg(ffname, e.description()),
            QStringLiteral("SendReceivedMsg"));
    }
}

void Delivery::RetryArchive(const QString &ffname)
{
    try {
        MoveQueueFile(m_incoming, ffname, m_backup, ffname);
        m_pushed.remove(ffname);
    } catch (const platform::Error &) {
        // logged when it first failed
    }
}
