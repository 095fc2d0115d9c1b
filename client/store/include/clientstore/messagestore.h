#pragma once

#include "clientstore/clssms.h"

#include <QDateTime>
#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <memory>

// A record is shared between its collection and the list row that shows
// it, so a row always finds its own record, whatever happened to the
// collection's order since the row was made.
using SmsRef = std::shared_ptr<clsSms>;
using SmsCollection = QList<SmsRef>;

// The longest line a message file holds: the hex form of the longest
// cipher text (4096 characters).
inline constexpr qsizetype MaxCipherHexLength = 8192;

// The three folders of a user's store.
inline constexpr char SentFolderName[] = "sent";
inline constexpr char UnreadFolderName[] = "unread";
inline constexpr char InboxFolderName[] = "inbox";

// stamp yymmddhhnnss, six random hex digits, ".sms".
QString MessageFileName(const QDateTime &when, QRandomGenerator &random);

// Writes `line` and CR LF as a new file in `folder` and returns its path.
// The file is written aside in `temporaryFolder` (outside every store
// folder, since those folders are read file by file), flushed, and renamed
// in under a fresh message file name that is drawn again while the name is
// taken, so no message is ever replaced. Raises platform::Error.
QString SaveSMS(const QString &folder, const QString &line, const QString &temporaryFolder);

// The record of a message line: the hex text of an enciphered
// "UserName,PhoneNumber,MessageDate,Message". Raises platform::Error when
// the line is not hex of at most MaxCipherHexLength digits or does not
// decipher into four fields.
clsSms DecryptedSMS(const QString &hexLine);

// The record of a message file, with FileName = path and IsUnread false.
// Reads no more than one cipher line. Raises platform::Error when the path
// is no regular file, cannot be read or holds no message line.
clsSms GetDecryptedSMS(const QString &path);

// Latest first by MessageDate, compared character by character by code.
// Records of equal dates keep their order in the collection.
void SortSMS(SmsCollection &collection);

// The message store of the logged-in user under the `users` folder: the
// folders sent, unread and inbox, and the records of their files.
class MessageStore {
public:
    explicit MessageStore(QString usersFolder);

    // Sets up the store of `userName` and loads it: both collections are
    // replaced, the inbox sorted. A file that gives no record is skipped
    // and stays where it is; each is logged, and one box tells of them.
    // Other failures are reported; the collections then stay empty.
    void OpenMessageStore(const QString &userName);

    // The user's folder; empty while no store is open.
    QString UserFolder() const { return m_userFolder; }
    QString FolderPath(const char *folderName) const;
    bool SentFolderHasFiles() const;

    // Keeps a pushed message (the hex text of its enciphered line) as a new
    // unread file and puts its record into InboxMessages at its sorted
    // place, before records of the same date; returns that place. Raises
    // platform::Error for data that is no message line; nothing is stored
    // then. When the file cannot be written the record is still kept, with
    // no FileName, and the failure is reported: the service has the
    // message in its Backup.
    qsizetype KeepPushedSMS(const QString &data);

    // Makes the sent copy of `body` (line breaks written "|") to `recipient`
    // dated `now`, appends its record to SentMessages and returns it. Raises
    // platform::Error.
    SmsRef NewSMSSave(const QString &userName, const QString &recipient, const QString &body, const QDateTime &now);

    // Opening a message: an unread record's file moves into inbox (under a
    // new name when its own is taken there) and the record becomes read.
    // Raises platform::Error; the record then stays unread.
    void MarkRead(const SmsRef &record);

    // Deletes the record's file and removes the record from its collection.
    // False, with nothing changed, when the file is gone already (a record
    // that was never written is only removed). Raises platform::Error when
    // the file cannot be deleted; the record stays. The record is held by
    // value: the caller may pass the collection's own entry, which the
    // removal destroys.
    bool Delete(SmsRef record);

    SmsCollection InboxMessages;
    SmsCollection SentMessages;
    qint32 UnreadCount = 0;

private:
    QString UserFolderFor(const QString &userName) const;
    QString SaveInFolder(const char *folderName, const QString &line);
    void LoadFolder(const char *folderName, bool unread, SmsCollection &into, QString &firstFailure);

    QString m_usersFolder;
    QString m_userFolder;
};
