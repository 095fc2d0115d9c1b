#pragma once

#include "loginguard.h"
#include "servicelog.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariantList>
#include <QtGlobal>
#include <functional>

class Connections;
class Databases;
class ServiceLog;

namespace sealkit {
class clsCipherBase;
}

// One frame for the wire; "" when the data cannot be framed, with the
// failure logged under "PrepareDataToSend".
QString PrepareDataToSend(ServiceLog &log, qint16 code, QStringView data);

// A statement with the values for its "?" placeholders, in order.
struct Statement {
    QString text;
    QVariantList values;
};

// The phone-book search for the text as typed: contacts whose first name,
// last name or company, and groups whose name, hold any of its words.
Statement PhonebookSearchStatement(const QString &searchText);

// The service side of the client protocol: login, phone-book search and
// send, each request answered on the connection it came from.
class CommandInterpreter {
public:
    // Queues one SmsRecord line in the Unsent folder.
    using UnsentWriter = std::function<void(const QString &line)>;

    CommandInterpreter(Connections &connections, Databases &databases, ServiceLog &log,
                       const sealkit::clsCipherBase &cipher, UnsentWriter writeUnsentFile);

    // Handles one message cut from connection `Index`. Every failure is
    // logged under "ExecuteCommand" and drops only this message.
    void ExecuteCommand(const QString &cmd, qint16 Index);

    LoginGuard &loginGuard() { return m_loginGuard; }
    // How often the refused logins after each address's first are reported.
    void SetRefusalReportInterval(int ms) { m_refusalReport.SetInterval(ms); }

private:
    void Login(const QString &data, qint16 Index);
    void RefuseLogin(const QString &user, qint16 Index);
    void ReportRefusals();
    static bool FirstFrom(QSet<QString> &reported, const QString &address);
    void PhonebookSearch(const QString &data, qint16 Index);
    void SendSms(const QString &data, qint16 Index);
    QStringList Recipients(const QString &manualNumbers, const QString &selectedEntries);
    void Answer(qint16 Index, qint16 code, QStringView data);

    Connections &m_connections;
    Databases &m_databases;
    ServiceLog &m_log;
    const sealkit::clsCipherBase &m_cipher;
    UnsentWriter m_writeUnsentFile;
    LoginGuard m_loginGuard;
    // Addresses, user names and so on remembered for the reports, at most.
    static constexpr qsizetype MaxRemembered = 4096;
    QSet<QString> m_refusalsReported;
    QSet<QString> m_ignoredReported;
    struct Refusals {
        int count = 0;
        QSet<QString> addresses;
        QHash<QString, int> names;
    } m_refusals; // since the last report
    ReportLimiter m_refusalReport;
};
