#pragma once

#include "vorbex/serialport.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QRegularExpressionMatch>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace platform {
class IniFile;
}

namespace vorbex {

// The identities hosts have always bound the modem object by.
inline constexpr char TypeLibraryId[] = "{249F51E3-12F9-424F-BDE6-9E6E00FA076E}"; // VorbexDll
inline constexpr char ClassId[] = "{36FB0AAC-EEC0-428A-86EB-37F25816BC73}";       // clsVorbex
inline constexpr char InterfaceId[] = "{231215FC-2CD6-4914-8D53-C5C51F7D5DD2}";   // _clsVorbex
inline constexpr char EventInterfaceId[] = "{18A59615-F14E-48F2-9A3A-15757B95639F}"; // __clsVorbex

// The GSM modem on a serial port. The host's calls only queue commands; the
// object's 8-second timer runs one queued command per tick (its AT dialogue)
// and removes it. Results come back as signals, on the host's thread and
// from inside the dialogue, so connect them directly.
//
// The dialogues keep the host's event loop running while they wait. Do not
// delete the object while IsBusy(); deleteLater() is safe at any time.
//
// Settings come from "VorbexDll.ini" (section "VorbexDll") in the library
// folder; the logs "Commands.log", "Incoming.log" and "SentData.log" lie there
// too, and "Undeleted.lst", the received messages the host has stored whose
// deletion from the modem is not yet confirmed. Errors are raised to the caller as platform::Error; the error of a
// timer tick comes back through TickFailed.
class clsVorbex : public QObject {
    Q_OBJECT
public:
    // What became of a send command. Accepted: the modem answered "+CMGS: n"
    // and "OK". Refused: it answered "ERROR" or "+CMS ERROR: n", or the
    // command never reached it (a number, a text or a "^" that cannot be
    // sent). Unanswered: no result came within SendHoldSeconds.
    enum class SendResult { Accepted, Refused, Unanswered };

    // A send the modem has not answered holds back every other send this
    // long (receive polls still run): a slow network brings "+CMGS: n" well
    // after the dialogue's wait, and an answer can only be told apart while
    // no second send is in flight. Only then is the send reported
    // Unanswered, and its retry may go.
    static constexpr double SendHoldSeconds = 60.0;
    // The same on the library's clock.
    static qint64 SendHoldMs();
    Q_ENUM(SendResult)

    // Reads "Debug" and "com_port"; a value that is not a number raises the
    // type-mismatch error. The port stays closed.
    explicit clsVorbex(QObject *parent = nullptr);
    ~clsVorbex() override;

    std::shared_ptr<SerialPort> C() const { return m_port; }
    void setC(std::shared_ptr<SerialPort> port);

    bool PortOpen() const;
    void setPortOpen(bool open);
    // Always empty.
    QString ComData() const { return QString(); }

    // Opens the port when it is closed, then writes S with CR LF.
    void ATCommand(const QString &S);
    // The tag rides with the queued command and comes back with
    // SendCompleted or TakeQueuedSends; it is never sent to the modem.
    void CommandSendMessage(const QString &phonenumber, const QString &message, bool PhoneNumberFormat,
                            const QString &tag = QString());
    // Why a send command with this number and text could not reach the
    // modem ("" when it can): a "^" in either, a number that is not one, a
    // text that is empty or does not fit one SMS ("|" stands for a line break).
    static QString WhyNotSendable(const QString &phonenumber, const QString &message);
    void CommandReceiveMessage(int Mode, int MsgNo = 0, const QString &phonenumber = QString(),
                               const QString &message = QString());
    // True opens the port unless it is open and reads "GSMServiceNumber"
    // again; False closes the port.
    void OpenDevice(bool DeviceState);
    // Reads the modem's answer until it falls silent and reports each stored
    // message that the pattern matches; always returns "".
    QString ComBuffer(const QString &Pattern);
    // Writes S to the port as it is and logs it in "Commands.log"; a log
    // that cannot be written is reported through Warning, not raised.
    void Output(const QString &S);
    // Every match of the pattern in myString, in order, ignoring case; "^"
    // and "$" work per line, "." matches anything but LF.
    QList<QRegularExpressionMatch> RegExp(const QString &myPattern, const QString &myString) const;
    // Waits nSecond seconds while the event loop keeps running.
    void Pause(float nSecond);
    // Appends the record "stamp CR LF Str CR LF 82 dashes CR LF" to
    // LogFileName + ".log" in the library folder; an empty Str writes nothing.
    void LogFile(const QString &Str, const QString &LogFileName);
    // Runs the first queued command and removes it. Does nothing while a
    // command runs (a timer tick inside a dialogue is skipped). An error
    // leaves the command first, to be tried again.
    void CheckSMSQueue();
    void CommandGetIMEI();

    // A dialogue is running right now.
    bool IsBusy() const { return m_running.has_value(); }
    // A receive command waits in the queue (not counting a running one).
    bool ReceiveWaiting() const;
    // Send commands waiting in the queue, not counting a running one.
    int SendsWaiting() const;
    // Removes every queued send command except a running one and returns
    // their tags in queue order.
    QStringList TakeQueuedSends();

Q_SIGNALS:
    // One stored message. The handler sets `stored` to false when it could
    // not keep the message; it is then left in the modem for the next poll.
    void SMSReceived(const QString &id, const QString &status, const QString &length, const QString &datetime,
                     const QString &phonenumber, const QString &message, bool &stored);
    void IMEI(const QString &imeiNumber);
    // What became of a send command: `answer` is the modem's result line,
    // or why the command was refused before it reached the modem, or what
    // came instead of a result. A send whose answer is late is reported
    // when the answer comes, or Unanswered once SendHoldSeconds have passed
    // without one, or at once when the port moves to another device. A send
    // reported Unanswered comes again as Accepted when its answer turns up
    // later after all; its retry, if queued, is then dropped and never sent,
    // and when the retry had gone out already a Warning says the message may
    // have been sent twice.
    void SendCompleted(const QString &tag, vorbex::clsVorbex::SendResult result, const QString &answer);
    // A timer tick failed; the command stays first in the queue.
    void TickFailed(const QString &procedure, const QString &description);
    // Something the host should log that ended nothing: a log file that
    // cannot be written (reported once until it can be again), output that
    // had to be restarted after a stall.
    void Warning(const QString &procedure, const QString &description);
    // The dialogue that was running has ended (whatever its outcome).
    void DialogueEnded();

protected:
    // Holds back a deleteLater() that arrives while the object waits.
    bool event(QEvent *e) override;

private:
    enum class Kind { Send, Receive, Identity };
    struct QueueItem {
        quint64 serial = 0;
        Kind kind = Kind::Send;
        // A send's number and text; a receive's only ride along, as do its
        // mode and number and a send's format flag.
        QString phonenumber;
        QString message;
        bool phoneNumberFormat = false;
        int mode = 0;
        int msgNo = 0;
        QString tag;
    };
    // A send whose answer has not come.
    struct Unanswered {
        QueueItem item;
        QElapsedTimer since; // from its PDU
        QString heard;       // what came instead of a result
    };

    void QueueTimer();
    struct SendOutcome {
        SendResult result;
        QString answer;
        // The connection went after the PDU: no answer can come through it.
        bool lost = false;
    };

    void enqueue(QueueItem item);
    void removeItem(quint64 serial);
    bool SendHeld() const;
    void GiveUpUnanswered();
    void ForgetSendsOfTheOldDevice();
    const QueueItem *NextToRun() const;
    bool LateSendAnswer(const QString &text, const QueueItem *next);
    std::optional<SendOutcome> runDialogue(const QueueItem &item);
    void TellGivenUpAnswered(const QueueItem &item, const QString &answer);
    SendOutcome SendDialogue(const QString &number, const QString &text);
    void ReceiveDialogue();
    void LookForLateAnswerIn(const QString &buffer);
    void IdentityDialogue();
    QString ReadUntilSilence(bool keepLoopRunning);
    QString ReadWaiting();
    // LogFile for the dialogues: a log that cannot be written ends nothing.
    void Log(const QString &Str, const QString &LogFileName);
    void readUndeleted();
    void keepUndeleted();
    SerialPort &port() const;
    void watchPort();
    void waitEnded();

    QString m_folder;
    std::unique_ptr<platform::IniFile> m_ini;
    std::shared_ptr<SerialPort> m_port;
    bool m_debug = false;
    QString m_serviceNumber;
    QList<QueueItem> m_queue;
    quint64 m_nextSerial = 0;
    std::optional<quint64> m_running; // serial of the command whose dialogue runs
    // The send that went out without a result, while it holds the others
    // back.
    std::optional<Unanswered> m_unanswered;
    QElapsedTimer m_pduSent; // the last send's PDU went out
    // Sends reported Unanswered whose answer may still come, oldest first:
    // a modem answers in order, so a late answer is the oldest one's.
    QList<QueueItem> m_givenUp;
    int m_waits = 0;                  // Pause calls under way
    bool m_deletePending = false;     // a deleteLater() held back during a wait
    bool m_logFailing = false;        // the last log write failed and was reported
    // PDUs the host has stored whose deletion from the modem is not yet
    // confirmed by a whole listing without them; kept in "Undeleted.lst" in
    // the library folder, so that a restart does not store them again.
    QSet<QString> m_storedNotDeleted;
    bool m_undeletedFailing = false; // the last write of that file failed and was reported
};

} // namespace vorbex
