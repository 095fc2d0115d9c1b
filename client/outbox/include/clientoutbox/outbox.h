#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

class MessageStore;
class ServiceConnection;

// A message as the compose page holds it when the user sends it.
struct OutgoingSms {
    // The message box's text: the header (the user's name and ":"), then
    // the body, a line feed for each line break.
    QString text;
    qsizetype headerLength = 0;
    // The number box as typed: numbers separated by ",".
    QString typedNumbers;
    // The recipient list's SelectionText: every entry's ID and kind.
    QString selectedEntries;
    // The recipient text of each entry's sent copy, in entry order.
    QStringList entryLabels;
};

// The counter of the compose page for a message box's text.
struct SmsCounter {
    qsizetype length = 0;
    qsizetype limit = 160;
    bool tooLong = false;
};
SmsCounter CountSms(const QString &text, qsizetype headerLength);

// The send rules: what may go, the sent copies, and the send request. It
// sends only through the connection and keeps the copies in the store.
class Outbox {
public:
    Outbox(ServiceConnection &connection, MessageStore &store);

    // Sends the message: returns the language key of the alert that
    // refuses it ("." follows the text), with nothing kept or sent; or an
    // empty text when the request has gone. A sent copy that cannot be
    // written is logged and told in one box, and the message still goes.
    // Raises platform::Error when the request cannot leave (no login, more
    // data than the service decodes, a write that fails); no copy is kept
    // then.
    QString Send(const OutgoingSms &sms);

private:
    ServiceConnection &m_connection;
    MessageStore &m_store;
};
