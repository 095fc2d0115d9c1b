#include "clientstore/clssms.h"

void clsSms::setPhoneNumber(const QString &value) { m_phoneNumber = value.left(MaxPhoneNumber); }

void clsSms::setMessage(const QString &value)
{
    m_message = value.left(MaxMessage);
    m_message.replace(QLatin1Char('|'), QStringLiteral("\r\n"));
}

void clsSms::setMessageDate(const QString &value) { m_messageDate = value.left(MaxMessageDate); }
void clsSms::setUserName(const QString &value) { m_userName = value.left(MaxUserName); }

QString clsSms::text() const
{
    return m_userName + QLatin1Char(',') + m_phoneNumber + QLatin1Char(',') + m_messageDate + QLatin1Char(',') + m_message;
}
