#pragma once

#include "simpdu/simpdu.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>

#include <optional>

// The AT side of a GSM modem in PDU mode, without any device: bytes from the
// host go in, the modem's answer comes out. It echoes what it receives,
// answers the commands a host of this system uses, keeps received messages
// as SMS-DELIVER PDUs in numbered storage, and reports each SMS-SUBMIT it
// accepts.
class ModemSim : public QObject {
    Q_OBJECT
public:
    static constexpr char DefaultImei[] = "490154203237518";

    explicit ModemSim(QObject *parent = nullptr);

    // Everything the host wrote since the last call; returns the answer.
    QByteArray Receive(QByteArrayView bytes);

    // Stores a received message (the PDU as hex, with its service-centre
    // field) as unread at the lowest free index; returns that index.
    int Store(const QString &pdu);
    int StoredCount() const { return m_storage.size(); }

    // Faults a real modem shows, switched by a line of text:
    //   "refuse N"  every send is answered "+CMS ERROR: N" and not sent
    //   "slow S"    every send goes out at once, but its "+CMGS" and "OK"
    //               come only S seconds later
    //   "busy S"    every send's answer (accepted or refused) comes S
    //               seconds later, and until then the modem takes no other
    //               command: what it is sent meanwhile is lost
    //   "silent"    the modem takes everything and answers nothing
    //   "chatter"   the modem talks without pause (Chatter() says what)
    //   "xoff"      one XOFF now, as from a modem whose buffer ran full
    //   "normal"    every fault off
    // Returns false for a line it does not know. "xoff" comes back through
    // Unsolicited, for the terminal to send.
    bool SetFault(const QString &line);
    bool Chattering() const { return m_chatter; }
    // One burst of a chattering modem's unsolicited lines.
    static QByteArray Chatter();

Q_SIGNALS:
    // A command line the modem executed.
    void CommandExecuted(const QString &line);
    // An SMS-SUBMIT the modem accepted for sending, with its reference.
    void MessageSubmitted(int reference, const simpdu::Submit &submit);
    // Bytes the modem sends of its own accord.
    void Unsolicited(const QByteArray &bytes);

private:
    struct Stored {
        int status; // 0 received unread, 1 received read
        QString pdu;
    };

    QByteArray Execute(const QByteArray &line);
    QByteArray ListMessages(int status);
    QByteArray DeleteMessage(int index);
    QByteArray FinishSubmit();

    bool m_pduInput = false; // after "> ", until Ctrl-Z
    int m_expectedOctets = 0;
    QByteArray m_line;
    QMap<int, Stored> m_storage;
    int m_lastReference = 0;
    std::optional<int> m_refusal; // "+CMS ERROR" code for every send
    std::optional<int> m_slowMs;  // delay of every send's result
    std::optional<int> m_busyMs;  // the same, and deaf until it comes
    bool m_answering = false;     // a busy modem's answer is on its way
    bool m_silent = false;
    bool m_chatter = false;
};
