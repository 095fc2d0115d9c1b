#pragma once

#include <QString>
#include <QtGlobal>

// One message of the client's store, received or sent. Each text property
// keeps at most its leading Max... characters.
class clsSms {
public:
    static constexpr qsizetype MaxPhoneNumber = 20;
    static constexpr qsizetype MaxMessage = 160;
    static constexpr qsizetype MaxMessageDate = 20;
    static constexpr qsizetype MaxUserName = 25;

    bool IsUnread = false;

    QString PhoneNumber() const { return m_phoneNumber; }
    void setPhoneNumber(const QString &value);
    // Cut to 160 characters first; each "|" of what is kept is then a line
    // break, CR LF.
    QString Message() const { return m_message; }
    void setMessage(const QString &value);
    QString MessageDate() const { return m_messageDate; }
    void setMessageDate(const QString &value);
    QString UserName() const { return m_userName; }
    void setUserName(const QString &value);
    // Full path of the record's file; empty for a received message that
    // could not be written.
    QString FileName;

    // UserName "," PhoneNumber "," MessageDate "," Message.
    QString text() const;

private:
    QString m_phoneNumber;
    QString m_message;
    QString m_messageDate;
    QString m_userName;
};
