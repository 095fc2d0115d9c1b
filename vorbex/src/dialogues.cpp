// The command queue and the three AT dialogues of the modem object.
#include "vorbex/clsvorbex.h"

#include "runtime.h"

#include "platform/error.h"
#include "platform/logwriter.h"
#include "vorbex/modpdu.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QThread>

#include <algorithm>
#include <limits>
#include <utility>

namespace vorbex {

namespace {

const QString CR = QStringLiteral("\r");
const QString CRLF = QStringLiteral("\r\n");
const QChar CtrlZ(26);

// One entry of the modem's list: index, status, alpha, length, then the PDU
// on the next line.
const QString ListPattern = QStringLiteral("\\+cmgl: (.*),(.*),.*,(.*)\\n(.*)\\n");

// Matches past this many are left for the next poll.
constexpr int MaxMatches = 32767;

// The modem has said all it will once the line stays quiet this long.
constexpr double SilenceSeconds = 1.0;
// Between two looks at a quiet line; short against the silence above.
constexpr unsigned long IdleMs = 2;

// A modem that never stops talking: the longest answer read, in time and in
// characters. A full listing of 255 stored messages at 9600 baud takes
// about 100 s and 95,000 characters.
constexpr double LongestReadSeconds = 120.0;
constexpr qsizetype LongestAnswer = 256 * 1024;

// Phones and bulk senders end lines with CR LF, CR or LF; all travel as "|".
QString LineBreaksAsBars(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("|"));
    text.replace(QLatin1Char('\r'), QLatin1Char('|'));
    text.replace(QLatin1Char('\n'), QLatin1Char('|'));
    return text;
}

// In the queue a line break is written "|".
QString WithLineBreaks(const QString &text)
{
    return QString(text).replace(QLatin1Char('|'), QLatin1Char('\n'));
}

// The result code that ends a whole answer.
const QRegularExpression &FinalOk()
{
    static const QRegularExpression ok(QStringLiteral("(*LF)^OK\\r?$"), QRegularExpression::MultilineOption);
    return ok;
}

// The final result of a send in what the modem said after "AT+CMGS=":
// "+CMGS: n" followed by "OK", else a refusal wherever it stands. The
// reference comes only once the message has gone out, so an error beside it
// is a slow modem's answer to an earlier command of the dialogue.
std::optional<std::pair<clsVorbex::SendResult, QString>> SendResultIn(const QString &answer)
{
    static const QRegularExpression lineBreaks(QStringLiteral("[\r\n]+"));
    const QStringList lines = answer.split(lineBreaks, Qt::SkipEmptyParts);
    QString reference;
    QString refusal;
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1String("+CMS ERROR:"), Qt::CaseInsensitive)
            || line.compare(QLatin1String("ERROR"), Qt::CaseInsensitive) == 0) {
            if (refusal.isEmpty())
                refusal = line;
        } else if (line.startsWith(QLatin1String("+CMGS:"), Qt::CaseInsensitive)) {
            reference = line;
        } else if (!reference.isEmpty() && line.compare(QLatin1String("OK"), Qt::CaseInsensitive) == 0) {
            return std::pair{clsVorbex::SendResult::Accepted, reference};
        }
    }
    if (!refusal.isEmpty())
        return std::pair{clsVorbex::SendResult::Refused, refusal};
    return std::nullopt;
}

// What a text holds that answers no command echoed in it: after the echo
// of a command ("AT..."), its first final result is its own, so a stale
// "+CMS ERROR" of a delete is not taken for a send's refusal.
QString UnclaimedLines(const QString &text)
{
    static const QRegularExpression lineBreaks(QStringLiteral("[\r\n]+"));
    QStringList unclaimed;
    bool owed = false;
    for (const QString &raw : text.split(lineBreaks, Qt::SkipEmptyParts)) {
        const QString line = raw.trimmed();
        const bool final = line.compare(QLatin1String("OK"), Qt::CaseInsensitive) == 0
            || line.compare(QLatin1String("ERROR"), Qt::CaseInsensitive) == 0
            || line.startsWith(QLatin1String("+CMS ERROR:"), Qt::CaseInsensitive);
        if (line.startsWith(QLatin1String("AT"), Qt::CaseInsensitive))
            owed = true;
        else if (final && owed)
            owed = false;
        else
            unclaimed << line;
    }
    return unclaimed.join(QLatin1Char('\n'));
}

} // namespace

void clsVorbex::CheckSMSQueue()
{
    if (m_running || (m_queue.isEmpty() && !m_unanswered && m_givenUp.isEmpty()))
        return;
    std::optional<SendOutcome> sent;
    QueueItem item;
    {
        // Set before anything reads the port: a tick that comes inside a
        // wait below must find the object busy.
        m_running = std::numeric_limits<quint64>::max();
        const auto idle = qScopeGuard([this] {
            m_running.reset();
            waitEnded();
            Q_EMIT DialogueEnded();
        });
        // The serial of a retry whose late answer has just come: it is
        // dropped, not sent.
        std::optional<quint64> answered;
        if (m_unanswered || !m_givenUp.isEmpty()) {
            QString waiting = ReadWaiting();
            // The reference is there but its "OK" is still on the way.
            if (waiting.contains(QLatin1String("+CMGS:"), Qt::CaseInsensitive) && !FinalOk().match(waiting).hasMatch())
                waiting += ReadUntilSilence(true);
            const QueueItem *next = NextToRun();
            if (LateSendAnswer(waiting, next))
                answered = next->serial;
        }
        if (m_unanswered && m_unanswered->since.elapsed() >= SendHoldMs())
            GiveUpUnanswered();
        const QueueItem *next = NextToRun();
        if (!next)
            return;
        item = *next;
        const bool skip = answered == item.serial;
        m_running = item.serial;
        if (const QString moved = port().PortOpen() ? port().FollowLink() : QString(); !moved.isEmpty()) {
            Q_EMIT Warning(QStringLiteral("CheckSMSQueue"), moved);
            ForgetSendsOfTheOldDevice();
        }
        if (!skip)
            sent = runDialogue(item);
        removeItem(item.serial);
    }
    if (sent)
        Q_EMIT SendCompleted(item.tag, sent->result, sent->answer);
}

qint64 clsVorbex::SendHoldMs()
{
    return runtime::waitMs(SendHoldSeconds);
}

bool clsVorbex::SendHeld() const
{
    return m_unanswered.has_value();
}

// The first command that may run now: while a send is unanswered, the
// first that is not a send.
const clsVorbex::QueueItem *clsVorbex::NextToRun() const
{
    for (const QueueItem &item : m_queue)
        if (item.kind != Kind::Send || !SendHeld())
            return &item;
    return nullptr;
}

// The hold is over without an answer: the send is reported Unanswered, so
// its retry may go, but its answer may still come.
void clsVorbex::GiveUpUnanswered()
{
    const Unanswered given = *std::exchange(m_unanswered, std::nullopt);
    m_givenUp.append(given.item);
    Q_EMIT SendCompleted(given.item.tag, SendResult::Unanswered,
                         QStringLiteral("No result from the modem within %1 s%2")
                             .arg(SendHoldSeconds)
                             .arg(given.heard.isEmpty() ? QString() : QStringLiteral(": ") + given.heard));
}

// The port has moved to another device, which never answers what went out
// on the old one: an answer that comes now belongs to a send made here.
void clsVorbex::ForgetSendsOfTheOldDevice()
{
    m_givenUp.clear();
    if (!m_unanswered)
        return;
    const Unanswered left = *std::exchange(m_unanswered, std::nullopt);
    Q_EMIT SendCompleted(left.item.tag, SendResult::Unanswered,
                         QStringLiteral("No result from the modem before the port moved to another device; the "
                                        "message may have gone out on the old one"));
}

// A send left unanswered may have gone out all the same: a slow network
// brings its "+CMGS: n" and "OK" (or its refusal) after the dialogue's wait.
// The answer is the oldest unanswered send's: the one given up longest ago,
// else the one that holds the others back. An accepted send's retry is
// dropped from the queue; true when that retry is `next`, which then is not
// sent.
bool clsVorbex::LateSendAnswer(const QString &text, const QueueItem *next)
{
    const auto result = SendResultIn(UnclaimedLines(text));
    if (!result)
        return false;
    const bool givenUp = !m_givenUp.isEmpty();
    const QueueItem answered = givenUp ? m_givenUp.takeFirst() : m_unanswered->item;
    // Its retry is running or waiting for its answer: both may have gone.
    const bool retried = givenUp && m_unanswered && m_unanswered->item.tag == answered.tag;
    if (!givenUp)
        m_unanswered.reset();
    const QString which = answered.tag.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(answered.tag);
    const QString answer = platform::LogSafeText(result->second);
    if (result->first != SendResult::Accepted) {
        Q_EMIT Warning(QStringLiteral("SendDialogue"),
                       QStringLiteral("The modem refused an earlier send%1 late: %2").arg(which, answer));
        // A send given up was counted as a try already.
        if (!givenUp)
            Q_EMIT SendCompleted(answered.tag, result->first, answer);
        return false;
    }
    bool retryIsNext = false;
    const auto retry = std::find_if(m_queue.cbegin(), m_queue.cend(), [&answered](const QueueItem &item) {
        return item.kind == Kind::Send && item.tag == answered.tag && item.phonenumber == answered.phonenumber
            && item.message == answered.message;
    });
    if (retry != m_queue.cend()) {
        retryIsNext = next && retry->serial == next->serial;
        if (!retryIsNext)
            m_queue.erase(retry);
    }
    if (retried)
        Q_EMIT Warning(QStringLiteral("SendDialogue"),
                       QStringLiteral("The modem answered an earlier send%1 after its retry had gone out: %2; the "
                                      "message may have been sent twice")
                           .arg(which, answer));
    else
        Q_EMIT Warning(QStringLiteral("SendDialogue"),
                       QStringLiteral("The modem answered an earlier send%1 late: %2; it counts as sent and is not "
                                      "sent again")
                           .arg(which, answer));
    Q_EMIT SendCompleted(answered.tag, SendResult::Accepted, answer);
    return retryIsNext;
}

// A send answered in its dialogue while earlier ones had been given up: the
// answer may be theirs as well, and none of theirs is still to come.
void clsVorbex::TellGivenUpAnswered(const QueueItem &item, const QString &answer)
{
    for (const QueueItem &given : std::as_const(m_givenUp)) {
        const QString which = given.tag.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(given.tag);
        if (given.tag == item.tag && given.phonenumber == item.phonenumber && given.message == item.message)
            Q_EMIT Warning(QStringLiteral("SendDialogue"),
                           QStringLiteral("The modem answered the retry of an earlier send%1 that had gone without an "
                                          "answer: %2; the message may have been sent twice")
                               .arg(which, answer));
        else
            Q_EMIT Warning(QStringLiteral("SendDialogue"),
                           QStringLiteral("The modem answered %1 while an earlier send%2 had gone without an answer; "
                                          "the answer may be the earlier one's")
                               .arg(item.tag.isEmpty() ? QStringLiteral("a send") : item.tag, which));
    }
    m_givenUp.clear();
}

// The outcome of a send command; nothing for the other commands, and
// nothing for a send still waiting for its answer.
std::optional<clsVorbex::SendOutcome> clsVorbex::runDialogue(const QueueItem &item)
{
    switch (item.kind) {
    case Kind::Send: {
        const SendOutcome outcome = SendDialogue(item.phonenumber, item.message);
        if (outcome.result == SendResult::Accepted)
            TellGivenUpAnswered(item, outcome.answer);
        if (outcome.result != SendResult::Unanswered || outcome.lost)
            return outcome;
        m_unanswered = Unanswered{item, m_pduSent, outcome.answer};
        return std::nullopt;
    }
    case Kind::Receive:
        // A "^" in a field the queue used to carry joined by "^" runs nothing.
        if (!item.phonenumber.contains(QLatin1Char('^')) && !item.message.contains(QLatin1Char('^')))
            ReceiveDialogue();
        break;
    case Kind::Identity:
        IdentityDialogue();
        break;
    }
    return std::nullopt;
}

QString clsVorbex::WhyNotSendable(const QString &phonenumber, const QString &message)
{
    if (phonenumber.contains(QLatin1Char('^')) || message.contains(QLatin1Char('^')))
        return QStringLiteral("The number or the text holds \"^\", which the modem's queue cannot carry");
    if (!modPDU::IsValidPhoneNumber(phonenumber))
        return QStringLiteral("\"%1\" is not a phone number the modem can send to").arg(phonenumber);
    if (message.isEmpty())
        return QStringLiteral("The text is empty");
    if (modPDU::OneSmsCoding(WithLineBreaks(message)) == modPDU::SmsCoding::TooLong)
        return QStringLiteral("The text does not fit one SMS (%1 characters)").arg(message.size());
    return QString();
}

// A number or text that cannot go out never reaches the modem. Otherwise
// the designed commands and waits, and then the modem's answer to the PDU
// decides: whatever the port held before is an answer to something else.
clsVorbex::SendOutcome clsVorbex::SendDialogue(const QString &number, const QString &text)
{
    if (const QString why = WhyNotSendable(number, text); !why.isEmpty())
        return {SendResult::Refused, why};
    const QString pdu = modPDU::EncodeSubmitPdu(number, WithLineBreaks(text));
    const qsizetype octets = pdu.size() / 2 - 1; // without the service-centre length octet
    ReadWaiting();
    Output(QStringLiteral("AT+CMGF=0"));
    Output(CR);
    Pause(0.2f);
    Output(QStringLiteral("AT+CSCA=") + m_serviceNumber);
    Output(CR);
    Pause(0.2f);
    ReadWaiting();
    Output(QStringLiteral("AT+CMGS=") + QString::number(octets));
    Output(CR);
    Pause(0.4f);
    QString answer = ReadWaiting();
    Output(pdu);
    Output(CtrlZ);
    m_pduSent.start();
    Pause(6.1f);
    // The modem has the message: a port that fails now cannot tell whether
    // it went out, so the send is not run again as if it had failed before
    // the modem. Its answer cannot come through a lost connection, so it is
    // not held for one either: a modem found there later never answers it.
    try {
        answer += ReadWaiting();
    } catch (const platform::Error &e) {
        return {SendResult::Unanswered,
                QStringLiteral("The connection was lost after the modem had taken the message, which may have gone "
                               "out: ")
                    + platform::LogSafeText(e.description()),
                true};
    }
    if (const auto result = SendResultIn(answer))
        return {result->first, platform::LogSafeText(result->second)};
    return {SendResult::Unanswered, platform::LogSafeText(answer.simplified().left(200))};
}

// What waits in the port is an answer to an earlier command; read with the
// listing it could make one message look like two.
void clsVorbex::ReceiveDialogue()
{
    ReadWaiting();
    Output(QStringLiteral("AT+CMGL=4") + CRLF);
    ComBuffer(ListPattern);
}

// A late send answer may come in the middle of a listing.
void clsVorbex::LookForLateAnswerIn(const QString &buffer)
{
    if ((m_unanswered || !m_givenUp.isEmpty()) && buffer.contains(QLatin1String("+CM"), Qt::CaseInsensitive))
        LateSendAnswer(buffer, nullptr);
}

QString clsVorbex::ComBuffer(const QString &Pattern)
{
    const QString buffer = ReadUntilSilence(true);
    LookForLateAnswerIn(buffer);
    const QList<QRegularExpressionMatch> matches = RegExp(Pattern, buffer);
    if (m_debug)
        Log(buffer, QStringLiteral("Commands"));
    QSet<QString> listed;
    for (qsizetype i = 0; i < matches.size() && i < MaxMatches; ++i) {
        const QRegularExpressionMatch &match = matches.at(i);
        if (m_debug)
            Log(match.captured(0), QStringLiteral("SentData"));
        const QString pdu = match.captured(4).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
        // The index keeps what the modem wrote; the length keeps the CR of
        // its line.
        const QString id = match.captured(1);
        listed.insert(pdu);
        // Stored at an earlier listing whose delete did not get through:
        // only the delete is repeated.
        if (!m_storedNotDeleted.contains(pdu)) {
            QString phone;
            QString datetime;
            const QString message = LineBreaksAsBars(modPDU::DecodeDeliverPdu(pdu, true, phone, datetime));
            bool stored = true;
            Q_EMIT SMSReceived(id, match.captured(2), match.captured(3), datetime, phone, message, stored);
            if (!stored)
                continue; // left in the modem, so it comes again at the next poll
            m_storedNotDeleted.insert(pdu);
            keepUndeleted();
        }
        Output(QStringLiteral("AT+CMGD=") + id + CRLF);
        Pause(0.5f);
    }
    // A message that a whole listing no longer shows has been deleted; a
    // listing cut short (no final "OK") proves nothing.
    if (FinalOk().match(buffer).hasMatch()) {
        const qsizetype before = m_storedNotDeleted.size();
        m_storedNotDeleted.intersect(listed);
        if (m_storedNotDeleted.size() != before)
            keepUndeleted();
    }
    return QString();
}

void clsVorbex::IdentityDialogue()
{
    Output(QStringLiteral("AT+CGSN"));
    Output(CR);
    QString buffer = ReadUntilSilence(false);
    const qsizetype echo = buffer.indexOf(QLatin1String("AT+CGSN"));
    if (echo > 0)
        buffer.remove(0, echo);
    // The first line of 9 or more characters is the identity; the echo line
    // ("AT+CGSN" and CR) is one shorter.
    for (;;) {
        const qsizetype lineEnd = buffer.indexOf(CRLF);
        if (lineEnd < 0)
            return;
        if (lineEnd >= 9) {
            Q_EMIT IMEI(buffer.left(lineEnd).trimmed());
            return;
        }
        buffer.remove(0, lineEnd + 2);
    }
}

// Collects everything the modem sends until the line has been quiet for a
// second. The receive dialogue lets the event loop run meanwhile; the
// identity dialogue does not. A modem that never falls silent fails the
// dialogue once the read has run too long or collected too much.
QString clsVorbex::ReadUntilSilence(bool keepLoopRunning)
{
    const qint64 silenceMs = runtime::waitMs(SilenceSeconds);
    const qint64 longestMs = runtime::waitMs(LongestReadSeconds);
    QString buffer;
    QElapsedTimer quiet;
    quiet.start();
    QElapsedTimer reading;
    reading.start();
    for (;;) {
        if (port().InBufferCount() > 0) {
            const QString chunk = port().Input();
            buffer += chunk;
            if (m_debug)
                Log(chunk, QStringLiteral("Incoming"));
            quiet.restart();
        } else {
            QThread::msleep(IdleMs);
        }
        if (buffer.size() > LongestAnswer || reading.elapsed() > longestMs)
            throw platform::Error(ErrDeviceUnavailable,
                                  QStringLiteral("The modem did not fall silent: %1 characters in %2 ms (at most %3 "
                                                 "characters in %4 ms are read); the command stays queued")
                                      .arg(buffer.size())
                                      .arg(reading.elapsed())
                                      .arg(LongestAnswer)
                                      .arg(longestMs));
        if (keepLoopRunning)
            QCoreApplication::processEvents();
        if (quiet.elapsed() >= silenceMs && port().InBufferCount() == 0)
            return buffer;
    }
}

// Whatever the modem has sent so far, taken from the port.
QString clsVorbex::ReadWaiting()
{
    if (port().InBufferCount() == 0)
        return QString();
    const QString chunk = port().Input();
    if (m_debug)
        Log(chunk, QStringLiteral("Incoming"));
    return chunk;
}

} // namespace vorbex
