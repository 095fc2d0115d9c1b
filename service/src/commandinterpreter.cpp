#include "commandinterpreter.h"

#include "connections.h"
#include "databases.h"
#include "queuefiles.h"
#include "servicelog.h"

#include "platform/convert.h"
#include "platform/error.h"
#include "platform/logwriter.h"
#include "protocol/protocol.h"
#include "sealkit/clscipherbase.h"
#include "store/alphabet.h"
#include "store/phonenumbers.h"

#include <QDateTime>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <exception>

using platform::describe;
using platform::TrimBlanks;

namespace {

// The numbers of one send request in the order they were first named; a
// number named again, by text exactly as given, is kept once.
class RecipientSet {
public:
    void Add(const QString &number)
    {
        if (m_seen.contains(number))
            return;
        m_seen.insert(number);
        m_numbers << number;
    }
    const QStringList &Numbers() const { return m_numbers; }

private:
    QSet<QString> m_seen;
    QStringList m_numbers;
};

// "Col LIKE '%' || ? || '%'" for each word, joined by OR; "1=0" without words.
QString LikeAnyWord(QLatin1String column, qsizetype words)
{
    if (words == 0)
        return QStringLiteral("1=0");
    QStringList conditions;
    for (qsizetype i = 0; i < words; ++i)
        conditions << column + QLatin1String(" LIKE '%' || ? || '%'");
    return conditions.join(QLatin1String(" OR "));
}

const QString ContactNumberStatement = QStringLiteral("SELECT phonenumber FROM Contact WHERE ID = ?");
const QString GroupNumbersStatement = QStringLiteral("SELECT Contact.Phonenumber "
                                                     "FROM ContactGroupLink "
                                                     "LEFT JOIN Contact ON ContactGroupLink.ContactID = Contact.ID "
                                                     "WHERE ContactGroupLink.GroupID = ?");

enum EntryKind : qint16 { ContactEntry = 0, GroupEntry = 1 };

} // namespace

QString PrepareDataToSend(ServiceLog &log, qint16 code, QStringView data)
{
    try {
        return protocol::PrepareDataToSend(code, data);
    } catch (const std::exception &e) {
        log.LogServiceError(describe(e), QStringLiteral("PrepareDataToSend"));
        return {};
    }
}

Statement PhonebookSearchStatement(const QString &searchText)
{
    QString s = searchText;
    while (s.contains(QLatin1String("  ")))
        s.replace(QLatin1String("  "), QLatin1String(" "));
    // An empty text has no words; a blank at either end gives an empty
    // word, which matches every value that is not Null.
    const QStringList words = s.isEmpty() ? QStringList() : s.split(QLatin1Char(' '));

    Statement statement;
    statement.text = QLatin1String("SELECT ID AS F1, 0 AS F2, FirstName AS F3, ")
        + QLatin1String("LastName AS F4, Company AS F5, Phonenumber AS F6 ") + QLatin1String("FROM Contact ")
        + QLatin1String("WHERE ") + LikeAnyWord(QLatin1String("FirstName"), words.size()) + QLatin1String(" OR ")
        + LikeAnyWord(QLatin1String("LastName"), words.size()) + QLatin1String(" OR ")
        + LikeAnyWord(QLatin1String("Company"), words.size()) + QLatin1String(" ") + QLatin1String("UNION ")
        + QLatin1String("SELECT ID AS F1, 1 AS F2, GroupName AS F3, '' AS F4, '' AS F5, '' AS F6 ")
        + QLatin1String("FROM Groups ") + QLatin1String("WHERE ") + LikeAnyWord(QLatin1String("GroupName"), words.size())
        + QLatin1String(" ") + QLatin1String("ORDER BY ")
        + AlphabeticalOrder({QStringLiteral("F3"), QStringLiteral("F4"), QStringLiteral("F5"), QStringLiteral("F6")},
                            QStringLiteral("F1"));
    for (int condition = 0; condition < 4; ++condition)
        for (const QString &word : words)
            statement.values << word;
    return statement;
}

CommandInterpreter::CommandInterpreter(Connections &connections, Databases &databases, ServiceLog &log,
                                       const sealkit::clsCipherBase &cipher, UnsentWriter writeUnsentFile)
    : m_connections(connections), m_databases(databases), m_log(log), m_cipher(cipher),
      m_writeUnsentFile(std::move(writeUnsentFile)), m_refusalReport([this] { ReportRefusals(); })
{
}

void CommandInterpreter::ExecuteCommand(const QString &cmd, qint16 Index)
{
    try {
        const std::optional<protocol::Message> message = protocol::DecodeMessage(cmd);
        if (!message)
            return;
        // A peer that has closed gets no answer: its logins and searches
        // are dropped unlogged and counted, so that a client sending many
        // and closing cannot write the log away. Its sends still run.
        if ((message->code == protocol::CMD_LOGIN || message->code == protocol::CMD_PHONEBOOK_SEARCH)
            && m_connections.PeerGone(Index)) {
            m_connections.DroppedAnswer(Index);
            return;
        }
        switch (message->code) {
        case protocol::CMD_LOGIN:
            Login(message->data, Index);
            break;
        case protocol::CMD_PHONEBOOK_SEARCH:
        case protocol::CMD_SEND_SMS:
            // The phone book and the modem serve logged-in users only. One
            // report per connection: a flood of requests must not rotate
            // the log's history away.
            if (!m_connections.IsLoggedIn(Index)) {
                if (m_connections.FirstIgnoredRequest(Index) && FirstFrom(m_ignoredReported, m_connections.PeerAddress(Index)))
                    m_log.LogServiceError(QStringLiteral("Request %1 from connection %2 (%3) ignored: it has not logged in; "
                                                         "further requests from that address are ignored without a report")
                                              .arg(message->code)
                                              .arg(Index)
                                              .arg(m_connections.PeerAddress(Index)),
                                          QStringLiteral("ExecuteCommand"));
                break;
            }
            if (message->code == protocol::CMD_PHONEBOOK_SEARCH)
                PhonebookSearch(message->data, Index);
            else
                SendSms(message->data, Index);
            break;
        default:
            break;
        }
    } catch (const std::exception &e) {
        m_log.LogServiceError(describe(e), QStringLiteral("ExecuteCommand"));
    }
}

// A refused login is answered by closing the connection, without a frame.
void CommandInterpreter::Login(const QString &data, qint16 Index)
{
    m_connections.SetTag(Index, QString());
    if (m_loginGuard.IsBlocked(m_connections.PeerAddress(Index))) {
        m_connections.Close(Index);
        return;
    }
    const QStringList fields = data.split(QLatin1Char('^'));
    bool accepted = false;
    if (fields.size() == 2) {
        m_connections.SetTag(Index, fields[0]);
        accepted = m_databases.UserAccessControl(fields[0], fields[1]);
    }
    if (!accepted) {
        RefuseLogin(fields[0], Index);
        return;
    }
    const qint16 permission = m_databases.UserManualNumberPermissionCheck(fields[0], fields[1]);
    m_connections.AddOnlineUser(Index, m_connections.Tag(Index));
    m_connections.SetAllowFreeNumbers(Index, permission == 1);
    const QString reply = QStringLiteral("(Connected)") + (permission == 1 ? QStringLiteral("|1") : QStringLiteral("|0"));
    Answer(Index, protocol::CMD_LOGIN_REPLY, m_cipher.Encrypt(reply, true));
}

// The first refusal from an address is reported in full, with the address
// first, where a log watcher's pattern finds it before any text the client
// chose; later ones are counted and reported at most once a minute, with
// the user names most tried. A user name is made safe for the log and
// short.
void CommandInterpreter::RefuseLogin(const QString &user, qint16 Index)
{
    constexpr qsizetype ShownUserName = 64;
    const QString address = m_connections.PeerAddress(Index);
    QString shown = platform::LogSafeText(user.left(ShownUserName));
    if (user.size() > ShownUserName)
        shown += QLatin1String("...");
    if (FirstFrom(m_refusalsReported, address)) {
        m_log.LogServiceError(QStringLiteral("Refused login from %1 for user \"%2\"").arg(address, shown),
                              QStringLiteral("ExecuteCommand"));
    } else {
        ++m_refusals.count;
        if (m_refusals.addresses.size() < MaxRemembered)
            m_refusals.addresses.insert(address);
        if (m_refusals.names.size() < MaxRemembered || m_refusals.names.contains(shown))
            ++m_refusals.names[shown];
        m_refusalReport.Counted();
    }
    if (m_loginGuard.Refused(address))
        m_log.LogServiceError(QStringLiteral("Blocked logins from %1 for %2 minutes after %3 refused logins")
                                  .arg(address)
                                  .arg(LoginGuard::BlockMs / 60000)
                                  .arg(LoginGuard::MaxRefusals),
                              QStringLiteral("ExecuteCommand"));
    m_connections.Close(Index);
}

void CommandInterpreter::ReportRefusals()
{
    if (m_refusals.count == 0)
        return;
    QList<std::pair<int, QString>> names;
    for (auto it = m_refusals.names.cbegin(); it != m_refusals.names.cend(); ++it)
        names.append({it.value(), it.key()});
    std::sort(names.begin(), names.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    QStringList most;
    for (qsizetype i = 0; i < std::min<qsizetype>(5, names.size()); ++i)
        most << QStringLiteral("\"%1\" (%2)").arg(names[i].second).arg(names[i].first);
    m_log.LogServiceError(QStringLiteral("%1 more refused login(s) from %2 address(es) already reported; the user "
                                         "names most refused: %3")
                              .arg(m_refusals.count)
                              .arg(m_refusals.addresses.size())
                              .arg(most.join(QStringLiteral(", "))),
                          QStringLiteral("ExecuteCommand"));
    m_refusals = {};
}

// True the first time for each address (of a bounded number remembered).
bool CommandInterpreter::FirstFrom(QSet<QString> &reported, const QString &address)
{
    if (reported.contains(address) || reported.size() >= MaxRemembered)
        return false;
    reported.insert(address);
    return true;
}

void CommandInterpreter::PhonebookSearch(const QString &data, qint16 Index)
{
    const Statement search = PhonebookSearchStatement(data);
    QSqlQuery rows = RunStatement(m_databases.PhonebookConnection(), search.text, search.values);
    QStringList records;
    while (NextRow(rows)) {
        QStringList fields;
        for (int f = 0; f < 6; ++f) {
            const QVariant value = rows.value(f);
            fields << (value.isNull() ? QString() : TrimBlanks(value.toString()));
        }
        records << fields.join(QLatin1Char('^'));
    }
    rows.finish();
    Answer(Index, protocol::CMD_PHONEBOOK_RESULT, records.join(QLatin1Char('|')));
}

// The whole recipient set is built before the first file is written, so a
// request that fails on the way queues nothing.
void CommandInterpreter::SendSms(const QString &data, qint16 Index)
{
    const QStringList fields = data.split(QLatin1Char('^'));
    if (fields.size() != 3)
        return;
    const QString whose = m_connections.Tag(Index);
    QString typed = fields[0];
    if (!m_connections.AllowFreeNumbers(Index) && !TrimBlanks(typed).isEmpty()) {
        m_log.LogServiceError(QStringLiteral("Typed numbers from user \"%1\" dropped: the user may not type numbers")
                                  .arg(platform::LogSafeText(whose)),
                              QStringLiteral("ExecuteCommand"));
        typed.clear();
    }
    const QStringList numbers = Recipients(typed, fields[1]);
    for (const QString &number : numbers) {
        const QString date = MessageDateText(QDateTime::currentDateTime());
        // A raw CR or LF in the text would end the file's line there.
        m_writeUnsentFile(SmsRecordLine({whose, number, date, fields[2]}));
    }
}

// Typed numbers first, in typed order, then the numbers of the selected
// contacts and groups in selection order. Typed pieces are kept as typed;
// stored numbers lose the marks people write between digits, and a number
// named twice is then kept once.
QStringList CommandInterpreter::Recipients(const QString &manualNumbers, const QString &selectedEntries)
{
    RecipientSet recipients;
    const QString typed = TrimBlanks(manualNumbers);
    if (!typed.isEmpty())
        for (const QString &piece : typed.split(QLatin1Char(',')))
            recipients.Add(piece);

    // Identifier and kind alternate; a single item names nothing.
    const QStringList entries = TrimBlanks(selectedEntries).split(QLatin1Char('|'));
    if (entries.size() == 1)
        return recipients.Numbers();
    const QSqlDatabase phonebook = m_databases.PhonebookConnection();
    for (qsizetype i = 0; i < entries.size(); i += 2) {
        const qint32 id = platform::ToLong(entries[i]);
        if (i + 1 >= entries.size())
            throw platform::Error(platform::ErrSubscript, QStringLiteral("Subscript out of range"));
        const qint16 kind = platform::ToInteger(entries[i + 1]);
        if (kind == ContactEntry) {
            const QString number = WithoutNumberSeparators(m_databases.ExecuteScalar(phonebook, ContactNumberStatement, {id}));
            if (!number.isEmpty())
                recipients.Add(number);
        } else if (kind == GroupEntry) {
            // A link to a contact that is gone joins a Null number, which
            // fails the whole request.
            QSqlQuery rows = RunStatement(phonebook, GroupNumbersStatement, {id});
            while (NextRow(rows)) {
                const QString number = WithoutNumberSeparators(FieldText(rows.value(0)));
                if (!number.isEmpty())
                    recipients.Add(number);
            }
        }
    }
    return recipients.Numbers();
}

void CommandInterpreter::Answer(qint16 Index, qint16 code, QStringView data)
{
    const QString frame = PrepareDataToSend(m_log, code, data);
    if (!frame.isEmpty())
        m_connections.SendData(Index, frame);
}
