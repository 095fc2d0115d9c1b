#include "modemsim.h"

#include <QRegularExpression>
#include <QTimer>

#include <optional>

namespace {

constexpr char CtrlZ = 26;
constexpr char Xon = 17;
constexpr char Xoff = 19;
// Longest command line kept; a real modem's buffer is not larger.
constexpr qsizetype MaxLine = 1024;
// Octets of the longest SMS-SUBMIT: 24 of header fields, 140 of user data.
constexpr int MaxSubmitOctets = 164;

const QByteArray Ok = QByteArrayLiteral("\r\nOK\r\n");
const QByteArray Error = QByteArrayLiteral("\r\nERROR\r\n");

QByteArray CmsError(int code)
{
    return QByteArrayLiteral("\r\n+CMS ERROR: ") + QByteArray::number(code) + QByteArrayLiteral("\r\n");
}

bool IsHex(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]*$"));
    return hex.match(text).hasMatch();
}

// Octets of the PDU after its service-centre field, as AT+CMGS and +CMGL
// count them.
int TpduOctets(const QString &pdu)
{
    bool ok = false;
    const int smscOctets = pdu.left(2).toInt(&ok, 16);
    return static_cast<int>(pdu.size() / 2) - 1 - (ok ? smscOctets : 0);
}

// The number after "=" of a command such as "AT+CMGD=3".
std::optional<int> Argument(const QByteArray &command, const QByteArray &prefix)
{
    if (!command.startsWith(prefix))
        return std::nullopt;
    bool ok = false;
    const int value = command.mid(prefix.size()).toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

} // namespace

ModemSim::ModemSim(QObject *parent) : QObject(parent) {}

bool ModemSim::SetFault(const QString &line)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '));
    const QString &mode = words.first();
    if (mode == QLatin1String("refuse") && words.size() == 2) {
        bool ok = false;
        const int code = words.at(1).toInt(&ok);
        if (!ok)
            return false;
        m_refusal = code;
    } else if (mode == QLatin1String("slow") && words.size() == 2) {
        bool ok = false;
        const double seconds = words.at(1).toDouble(&ok);
        if (!ok || seconds < 0)
            return false;
        m_slowMs = static_cast<int>(seconds * 1000);
    } else if (mode == QLatin1String("busy") && words.size() == 2) {
        bool ok = false;
        const double seconds = words.at(1).toDouble(&ok);
        if (!ok || seconds < 0)
            return false;
        m_busyMs = static_cast<int>(seconds * 1000);
    } else if (mode == QLatin1String("silent")) {
        m_silent = true;
    } else if (mode == QLatin1String("chatter")) {
        m_chatter = true;
    } else if (mode == QLatin1String("xoff")) {
        Q_EMIT Unsolicited(QByteArray(1, Xoff));
    } else if (mode == QLatin1String("normal")) {
        m_refusal.reset();
        m_slowMs.reset();
        m_busyMs.reset();
        m_silent = false;
        m_chatter = false;
    } else {
        return false;
    }
    return true;
}

QByteArray ModemSim::Chatter()
{
    return QByteArrayLiteral("\r\nRING\r\n\r\n+CREG: 1\r\n").repeated(64);
}

QByteArray ModemSim::Receive(QByteArrayView bytes)
{
    // A modem that works on a send hears nothing else.
    if (m_silent || m_answering)
        return {};
    QByteArray answer;
    for (const char c : bytes) {
        if (c == Xon || c == Xoff)
            continue;
        if (c != CtrlZ)
            answer.append(c); // echo
        if (m_pduInput) {
            if (c == CtrlZ)
                answer += FinishSubmit();
            else if (c != '\r' && c != '\n' && m_line.size() < MaxLine)
                m_line.append(c);
        } else if (c == '\r') {
            answer += Execute(m_line);
            m_line.clear();
        } else if (c != '\n' && c != CtrlZ && m_line.size() < MaxLine) {
            m_line.append(c);
        }
    }
    return answer;
}

int ModemSim::Store(const QString &pdu)
{
    int index = 1;
    while (m_storage.contains(index))
        ++index;
    m_storage.insert(index, Stored{0, pdu});
    return index;
}

QByteArray ModemSim::Execute(const QByteArray &line)
{
    const QByteArray command = line.trimmed().toUpper();
    // Anything that is not a command is line noise to a modem.
    if (!command.startsWith("AT"))
        return {};
    Q_EMIT CommandExecuted(QString::fromLatin1(line.trimmed()));
    if (command == "AT" || command == "AT+CMGF=0" || command.startsWith("AT+CSCA="))
        return Ok;
    if (command == "AT+CGSN")
        return QByteArrayLiteral("\r\n") + DefaultImei + QByteArrayLiteral("\r\n") + Ok;
    if (const auto octets = Argument(command, "AT+CMGS=")) {
        if (*octets < 1 || *octets > MaxSubmitOctets)
            return Error;
        m_pduInput = true;
        m_expectedOctets = *octets;
        return QByteArrayLiteral("\r\n> ");
    }
    if (const auto status = Argument(command, "AT+CMGL="))
        return *status >= 0 && *status <= 4 ? ListMessages(*status) : Error;
    if (const auto index = Argument(command, "AT+CMGD="))
        return DeleteMessage(*index);
    return Error;
}

// Status 4 lists everything; listing marks unread messages read.
QByteArray ModemSim::ListMessages(int status)
{
    QByteArray answer = QByteArrayLiteral("\r\n");
    for (auto it = m_storage.begin(); it != m_storage.end(); ++it) {
        if (status != 4 && it->status != status)
            continue;
        answer += "+CMGL: " + QByteArray::number(it.key()) + ',' + QByteArray::number(it->status) + ",,"
            + QByteArray::number(TpduOctets(it->pdu)) + "\r\n" + it->pdu.toLatin1() + "\r\n";
        it->status = 1;
    }
    return answer + Ok;
}

QByteArray ModemSim::DeleteMessage(int index)
{
    if (m_storage.remove(index) == 0)
        return CmsError(321); // invalid memory index
    return Ok;
}

QByteArray ModemSim::FinishSubmit()
{
    const QString pdu = QString::fromLatin1(m_line).trimmed();
    m_line.clear();
    m_pduInput = false;
    if (pdu.isEmpty() || pdu.size() % 2 != 0 || !IsHex(pdu) || TpduOctets(pdu) != m_expectedOctets)
        return CmsError(304); // invalid PDU mode parameter
    const simpdu::Submit submit = simpdu::ReadSubmitPdu(pdu);
    if (!submit.ok)
        return CmsError(304);
    QByteArray result;
    if (m_refusal) {
        result = CmsError(*m_refusal);
    } else {
        m_lastReference = m_lastReference % 255 + 1;
        Q_EMIT MessageSubmitted(m_lastReference, submit);
        result = QByteArrayLiteral("\r\n+CMGS: ") + QByteArray::number(m_lastReference) + QByteArrayLiteral("\r\n") + Ok;
    }
    if (m_busyMs) {
        // The answer, accepted or refused, comes late, and nothing is
        // taken until it has come.
        m_answering = true;
        QTimer::singleShot(*m_busyMs, this, [this, result] {
            m_answering = false;
            if (!m_silent)
                Q_EMIT Unsolicited(result);
        });
        return {};
    }
    if (m_refusal || !m_slowMs)
        return result;
    // A slow network: the message is out, its reference comes later.
    QTimer::singleShot(*m_slowMs, this, [this, result] {
        if (!m_silent)
            Q_EMIT Unsolicited(result);
    });
    return {};
}
