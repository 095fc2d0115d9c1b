#include "outgoingqueue.h"

#include "queuefiles.h"
#include "servicelog.h"

#include "platform/error.h"
#include "platform/logwriter.h"
#include "platform/inifile.h"
#include "store/servicesettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTime>

#include <algorithm>
#include <optional>

using platform::describe;

namespace {

const QString Procedure = QStringLiteral("ReadUnsentFile");
const QString Bulk = QStringLiteral("[Bulk]");

QString TriesFileName(const QString &name)
{
    return name + QStringLiteral(".tries");
}

QByteArray TriesFileContent(int tries)
{
    return QByteArray::number(tries) + "\r\n";
}

// A queue file holds one line of text; control characters (other than a
// tab) mean it is something else.
bool IsText(const QString &line)
{
    return std::none_of(line.cbegin(), line.cend(),
                        [](QChar c) { return c != QLatin1Char('\t') && (c.unicode() < 0x20 || c.unicode() == 0x7F); });
}

} // namespace

bool InSendingWindow(const QString &interval, const QString &now)
{
    const QStringList parts = interval.split(QLatin1Char(','));
    if (parts.size() != 2)
        return true;
    const QString &start = parts.at(0);
    const QString &end = parts.at(1);
    if (start <= end)
        return start <= now && now <= end;
    return start <= now || now <= end;
}

bool PhoneNumberFormat(const QString &number)
{
    return !number.startsWith(QLatin1Char('+'));
}

OutgoingQueue::OutgoingQueue(QString programFolder, platform::IniFile &ini, ServiceLog &log, QObject *parent)
    : QObject(parent),
      m_unsent(QueueFolder(programFolder, UnsentFolder)),
      m_sent(QueueFolder(programFolder, SentFolder)),
      m_log(log),
      m_readSendingWindow([&ini] {
          return ini.ReadValue(QString::fromLatin1(ServiceSettingsSection), QString::fromLatin1(SendingWindowKey),
                               QString::fromLatin1(SendingWindowDefault));
      })
{
}

void OutgoingQueue::SetSendingWindowReader(std::function<QString()> reader)
{
    m_readSendingWindow = std::move(reader);
}

void OutgoingQueue::ReadUnsentFile(vorbex::clsVorbex *modem)
{
    if (m_stopped || !modem)
        return;
    UseModem(modem);
    // The modem's queue holds at most the send it runs and one more, so a
    // receive poll never waits behind more than that.
    if (modem->SendsWaiting() > 0)
        return;
    try {
        const QStringList names = ListQueueFiles(m_unsent);
        ForgetVanished(names);
        // One pass is one moment for the sending window, which is read once
        // per pass, at the first bulk file met: a change the console saves
        // takes effect at the next pass, at most a tick later.
        const QString now = QTime::currentTime().toString(QStringLiteral("HH:mm"));
        std::optional<bool> windowOpen;
        const auto bulkWindowOpen = [&] {
            if (!windowOpen)
                windowOpen = InSendingWindow(m_readSendingWindow(), now);
            return *windowOpen;
        };
        for (const QString &name : names) {
            if (DealWith(name, bulkWindowOpen))
                return;
        }
    } catch (const std::exception &e) {
        m_log.LogServiceError(describe(e), Procedure);
    }
}

void OutgoingQueue::UseModem(vorbex::clsVorbex *modem)
{
    if (m_modem == modem)
        return;
    if (m_modem)
        disconnect(m_modem, nullptr, this, nullptr);
    // Commands queued in another modem object went with it; their files are
    // still in Unsent and are handed to this one.
    m_handedOver.clear();
    m_modem = modem;
    connect(modem, &vorbex::clsVorbex::SendCompleted, this, &OutgoingQueue::SendCompleted);
    connect(modem, &QObject::destroyed, this, [this] { m_handedOver.clear(); });
}

// True when the file was dealt with, which ends the pass.
bool OutgoingQueue::DealWith(const QString &name, const std::function<bool()> &bulkWindowOpen)
{
    if (m_handedOver.contains(name) || m_passedOver.contains(name))
        return false;
    if (const auto wait = m_retryAfter.find(name); wait != m_retryAfter.end()) {
        if (!wait->hasExpired())
            return false;
        m_retryAfter.erase(wait);
    }
    // A bulk file outside the window is not read again on every tick; queue
    // files do not change while they lie in Unsent.
    const bool knownBulk = m_waitingBulk.contains(name);
    if (knownBulk && !bulkWindowOpen())
        return false;
    const QString path = QDir(m_unsent).filePath(name);
    // Only a file of its own is a message: a link may lead anywhere.
    if (const QFileInfo info(path); info.isSymLink() || !info.isFile()) {
        m_waitingBulk.remove(name);
        SetAside(name, QStringLiteral("unreadable"), QStringLiteral("%1 is not a regular file").arg(name));
        return false;
    }
    QString line;
    try {
        line = ReadFirstLine(path);
    } catch (const platform::Error &e) {
        m_waitingBulk.remove(name);
        SetAside(name, QStringLiteral("unreadable"), QStringLiteral("Cannot read %1: %2").arg(name, e.description()));
        return false;
    }
    if (!IsText(line)) {
        m_waitingBulk.remove(name);
        SetAside(name, QStringLiteral("unreadable"), QStringLiteral("%1 is not a text file").arg(name));
        return false;
    }
    const SmsRecord fields = ReadSmsRecord(line);
    clsSMSsvc sms = NewSMS();
    FillRecord(sms, fields);
    if (sms.Whose().isEmpty()) {
        m_waitingBulk.remove(name);
        MoveToSent(name);
        return true;
    }
    // The number and the text go as the file holds them: the record keeps
    // only 20 characters of a number and 160 of a text, and what it cut
    // would go out to another number or shortened. A whole one that is too
    // long is refused before the modem.
    QString text;
    if (sms.Whose() != Bulk) {
        text = sms.Whose() + QLatin1Char(':') + fields.Message;
    } else {
        if (!knownBulk && !bulkWindowOpen()) {
            m_waitingBulk.insert(name);
            return false;
        }
        text = fields.Message;
    }
    m_waitingBulk.remove(name);
    return HandOver(name, fields.Number, text);
}

// False when the file was set aside instead, which lets the pass go on.
bool OutgoingQueue::HandOver(const QString &name, const QString &number, const QString &text)
{
    if (text.isEmpty() || number.isEmpty()) {
        MoveToSent(name);
        return true;
    }
    if (const QString why = vorbex::clsVorbex::WhyNotSendable(number, text); !why.isEmpty()) {
        ForgetTries(name);
        SetAside(name, QStringLiteral("failed"), QStringLiteral("%1 cannot be sent: %2").arg(name, why));
        return false;
    }
    m_handedOver.insert(name);
    m_modem->CommandSendMessage(number, text, PhoneNumberFormat(number), name);
    return true;
}

void OutgoingQueue::SendCompleted(const QString &tag, vorbex::clsVorbex::SendResult result, const QString &answer)
{
    if (!m_handedOver.remove(tag)) {
        // A late answer to a send that came back unanswered, before its
        // retry was handed over: the message is out, so it is never retried.
        if (result == vorbex::clsVorbex::SendResult::Accepted && !tag.isEmpty()
            && QFile::exists(QDir(m_unsent).filePath(tag)))
            MoveToSent(tag);
        return;
    }
    switch (result) {
    case vorbex::clsVorbex::SendResult::Accepted:
        MoveToSent(tag);
        break;
    case vorbex::clsVorbex::SendResult::Refused:
        // A short loss of the network must not use up the tries.
        m_retryAfter.insert(tag, QDeadlineTimer(m_modem ? m_modem->SendHoldMs() : 0));
        SendFailed(tag, QStringLiteral("the modem refused it: ") + answer);
        break;
    case vorbex::clsVorbex::SendResult::Unanswered:
        SendFailed(tag, QStringLiteral("the modem did not answer: ") + answer);
        break;
    }
}

// The file stays in Unsent for a later tick, until its last try.
void OutgoingQueue::SendFailed(const QString &name, const QString &reason)
{
    // Answered after all while its retry was on the way.
    if (!QFile::exists(QDir(m_unsent).filePath(name))) {
        m_retryAfter.remove(name);
        return;
    }
    const int tries = Tries(name) + 1;
    const QString told = QStringLiteral("%1 was not sent, try %2 of %3: %4").arg(name).arg(tries).arg(MaxTries).arg(reason);
    if (tries >= MaxTries) {
        ForgetTries(name);
        SetAside(name, QStringLiteral("failed"), told);
        return;
    }
    m_log.LogServiceError(told, Procedure);
    KeepTries(name, tries);
}

// A count that cannot be read back whole is no count: the file is taken to
// be at its last try, so that a broken count never sends a message without
// end.
int OutgoingQueue::Tries(const QString &name)
{
    const int remembered = m_tries.value(name);
    QFile file(QDir(m_unsent).filePath(TriesFileName(name)));
    if (!file.exists())
        return remembered;
    const QByteArray content = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    bool whole = false;
    const int kept = content.trimmed().toInt(&whole);
    if (whole && kept >= 0 && content == TriesFileContent(kept))
        return std::max(kept, remembered);
    m_log.LogServiceError(QStringLiteral("The count of tries of %1 cannot be read back whole (%2); the message counts "
                                         "as at its last try")
                              .arg(name, file.error() != QFile::NoError ? file.errorString()
                                                                        : QStringLiteral("\"%1\"").arg(platform::LogSafeText(QString::fromLatin1(content.left(20))))),
                          Procedure);
    return std::max(MaxTries - 1, remembered);
}

// Written aside and renamed, then read back: a full disk must not leave a
// count that restarts at nothing.
void OutgoingQueue::KeepTries(const QString &name, int tries)
{
    const QString path = QDir(m_unsent).filePath(TriesFileName(name));
    const QByteArray content = TriesFileContent(tries);
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit();
    QFile back(path);
    if (written && back.open(QIODevice::ReadOnly) && back.readAll() == content) {
        m_tries.insert(name, tries);
        return;
    }
    m_tries.insert(name, MaxTries - 1);
    m_log.LogServiceError(QStringLiteral("Cannot keep the count of tries of %1 (%2); the message counts as at its last "
                                         "try")
                              .arg(name, written ? QStringLiteral("it does not read back whole") : file.errorString()),
                          Procedure);
}

void OutgoingQueue::ForgetTries(const QString &name)
{
    m_retryAfter.remove(name);
    m_tries.remove(name);
    QFile::remove(QDir(m_unsent).filePath(TriesFileName(name)));
}

void OutgoingQueue::MoveToSent(const QString &name)
{
    ForgetTries(name);
    try {
        MoveQueueFile(m_unsent, name, m_sent, name);
    } catch (const platform::Error &e) {
        SetAside(name, QStringLiteral("done"),
                 QStringLiteral("%1 is dealt with but cannot be moved to Sent: %2").arg(name, e.description()));
    }
}

void OutgoingQueue::SetAside(const QString &name, const QString &suffix, const QString &reason)
{
    SetAsideOrPassOver(m_unsent, name, suffix, reason, m_passedOver, m_log, Procedure);
}

// What was learned about files that have left Unsent meanwhile is dropped,
// so it never outgrows the folder.
void OutgoingQueue::ForgetVanished(const QStringList &names)
{
    if (m_waitingBulk.size() + m_passedOver.size() + m_tries.size() + m_retryAfter.size() <= names.size())
        return;
    const QSet<QString> listed(names.cbegin(), names.cend());
    const auto vanished = [&listed](const QString &name) { return !listed.contains(name); };
    m_waitingBulk.removeIf(vanished);
    m_passedOver.removeIf(vanished);
    m_tries.removeIf([&listed](const QHash<QString, int>::iterator it) { return !listed.contains(it.key()); });
    m_retryAfter.removeIf([&listed](const QHash<QString, QDeadlineTimer>::iterator it) { return !listed.contains(it.key()); });
}

void OutgoingQueue::Stop()
{
    m_stopped = true;
    if (!m_modem)
        return;
    for (const QString &tag : m_modem->TakeQueuedSends())
        m_handedOver.remove(tag);
}
