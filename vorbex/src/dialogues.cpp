// The command queue and the three AT dialogues of the modem object.
#include "vorbex/clsvorbex.h"

#include "runtime.h"

#include "vorbex/modpdu.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QThread>

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

} // namespace

void clsVorbex::CheckSMSQueue()
{
    if (m_running || m_queue.isEmpty())
        return;
    const QueueItem item = m_queue.first();
    bool sendRan = false;
    {
        m_running = item.serial;
        const auto idle = qScopeGuard([this] {
            m_running.reset();
            waitEnded();
        });
        sendRan = runDialogue(item.text);
        removeItem(item.serial);
    }
    if (sendRan)
        Q_EMIT SendCompleted(item.tag);
}

// True when it was the send dialogue that ran.
bool clsVorbex::runDialogue(const QString &text)
{
    const QStringList fields = text.split(QLatin1Char('^'));
    const QString &command = fields.first();
    if (command == QLatin1String("0") && fields.size() == 4) {
        SendDialogue(fields.at(1), fields.at(2));
        return true;
    }
    if (command == QLatin1String("1") && fields.size() == 5)
        ReceiveDialogue();
    else if (command == QLatin1String("2"))
        IdentityDialogue();
    return false;
}

// The modem's answers are not read here; they wait in the port for the next
// receive or identity dialogue.
void clsVorbex::SendDialogue(const QString &number, const QString &text)
{
    const QString message = QString(text).replace(QLatin1Char('|'), QLatin1Char('\n'));
    Output(QStringLiteral("AT+CMGF=0"));
    Output(CR);
    Pause(0.2f);
    Output(QStringLiteral("AT+CSCA=") + m_serviceNumber);
    Output(CR);
    Pause(0.2f);
    QString pdu;
    qsizetype octets = 0;
    if (modPDU::IsValidPhoneNumber(number)) {
        pdu = modPDU::EncodeSubmitPdu(number, message);
        octets = pdu.size() / 2 - 1; // without the service-centre length octet
    }
    Output(QStringLiteral("AT+CMGS=") + QString::number(octets));
    Output(CR);
    Pause(0.4f);
    Output(pdu);
    Output(CtrlZ);
    Pause(6.1f);
}

void clsVorbex::ReceiveDialogue()
{
    Output(QStringLiteral("AT+CMGL=4") + CRLF);
    ComBuffer(ListPattern);
}

QString clsVorbex::ComBuffer(const QString &Pattern)
{
    const QString buffer = ReadUntilSilence(true);
    const QList<QRegularExpressionMatch> matches = RegExp(Pattern, buffer);
    if (m_debug)
        LogFile(buffer, QStringLiteral("Commands"));
    for (qsizetype i = 0; i < matches.size() && i < MaxMatches; ++i) {
        const QRegularExpressionMatch &match = matches.at(i);
        if (m_debug)
            LogFile(match.captured(0), QStringLiteral("SentData"));
        const QString pdu = match.captured(4).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
        QString phone;
        QString datetime;
        const QString message =
            modPDU::DecodeDeliverPdu(pdu, true, phone, datetime).replace(QLatin1Char('\n'), QLatin1Char('|'));
        // The index keeps what the modem wrote; the length keeps the CR of
        // its line.
        const QString id = match.captured(1);
        bool stored = true;
        Q_EMIT SMSReceived(id, match.captured(2), match.captured(3), datetime, phone, message, stored);
        if (!stored)
            continue; // left in the modem, so it comes again at the next poll
        Output(QStringLiteral("AT+CMGD=") + id + CRLF);
        Pause(0.5f);
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
// identity dialogue does not.
QString clsVorbex::ReadUntilSilence(bool keepLoopRunning)
{
    const qint64 silenceMs = runtime::waitMs(SilenceSeconds);
    QString buffer;
    QElapsedTimer quiet;
    quiet.start();
    for (;;) {
        if (port().InBufferCount() > 0) {
            const QString chunk = port().Input();
            buffer += chunk;
            if (m_debug)
                LogFile(chunk, QStringLiteral("Incoming"));
            quiet.restart();
        } else {
            QThread::msleep(IdleMs);
        }
        if (keepLoopRunning)
            QCoreApplication::processEvents();
        if (quiet.elapsed() >= silenceMs && port().InBufferCount() == 0)
            return buffer;
    }
}

} // namespace vorbex
