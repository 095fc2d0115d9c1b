#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>

class QRandomGenerator;

// The queue folders, each directly under the program folder.
inline constexpr char UnsentFolder[] = "Unsent";
inline constexpr char SentFolder[] = "Sent";
inline constexpr char IncomingFolder[] = "Incoming";
inline constexpr char BackupFolder[] = "Backup";

QString QueueFolder(const QString &programFolder, const char *folder);

// One message line, Whose,Number,MessageDate,Message. Only the message text
// may hold commas.
struct SmsRecord {
    QString Whose;
    QString Number;
    QString MessageDate;
    QString Message;
};

// Splits at the first three commas and removes the blanks at both ends of
// each field. A line with fewer than four fields gives four empty fields.
SmsRecord ReadSmsRecord(QStringView line);
// The four fields joined by ","; a line break anywhere is written as "|",
// since a reader takes the first line only, and a comma in the first three
// fields as a blank, since a reader splits at the first three commas.
QString SmsRecordLine(const SmsRecord &record);

// One outgoing message. Each property keeps at most its leading
// MaxNumber, ... characters.
class clsSMSsvc {
public:
    static constexpr qsizetype MaxNumber = 20;
    static constexpr qsizetype MaxMessage = 160;
    static constexpr qsizetype MaxMessageDate = 20;
    static constexpr qsizetype MaxWhose = 25;

    QString Number() const { return m_number; }
    void setNumber(const QString &value);
    QString Message() const { return m_message; }
    void setMessage(const QString &value);
    QString MessageDate() const { return m_messageDate; }
    void setMessageDate(const QString &value);
    QString Whose() const { return m_whose; }
    void setWhose(const QString &value);

private:
    QString m_number;
    QString m_message;
    QString m_messageDate;
    QString m_whose;
};

// One received message: `Whose` is the addressee or "Moderator", `Ffname`
// the Incoming file it came from. The UserList properties are carried but
// not used by the service.
class clsSMS {
public:
    static constexpr qsizetype MaxUserListModAc = 20;
    static constexpr qsizetype MaxUserListPass = 32;
    static constexpr qsizetype MaxUserListName = 20;
    static constexpr qsizetype MaxUserListUsername = 20;
    static constexpr qsizetype MaxNumber = 20;
    static constexpr qsizetype MaxMessage = 160;
    static constexpr qsizetype MaxMessageDate = 20;
    static constexpr qsizetype MaxWhose = 25;
    static constexpr qsizetype MaxFfname = 25;

    QString UserListModAc() const { return m_userListModAc; }
    void setUserListModAc(const QString &value);
    QString UserListPass() const { return m_userListPass; }
    void setUserListPass(const QString &value);
    QString UserListName() const { return m_userListName; }
    void setUserListName(const QString &value);
    QString UserListUsername() const { return m_userListUsername; }
    void setUserListUsername(const QString &value);
    QString Number() const { return m_number; }
    void setNumber(const QString &value);
    QString Message() const { return m_message; }
    void setMessage(const QString &value);
    QString MessageDate() const { return m_messageDate; }
    void setMessageDate(const QString &value);
    QString Whose() const { return m_whose; }
    void setWhose(const QString &value);
    QString Ffname() const { return m_ffname; }
    void setFfname(const QString &value);

    // Empties MessageDate only.
    void Clear();

private:
    QString m_userListModAc;
    QString m_userListPass;
    QString m_userListName;
    QString m_userListUsername;
    QString m_number;
    QString m_message;
    QString m_messageDate;
    QString m_whose;
    QString m_ffname;
};

clsSMSsvc NewSMS();
clsSMS NewSMStcp();

// Number, Message, MessageDate and Whose of either record from a line's
// fields (cut to the record's lengths).
template <class Record>
void FillRecord(Record &record, const SmsRecord &fields)
{
    record.setNumber(fields.Number);
    record.setMessage(fields.Message);
    record.setMessageDate(fields.MessageDate);
    record.setWhose(fields.Whose);
}

// The twelve digits yymmddhhnnss that begin every queue file name.
QString FileStamp(const QDateTime &when);
// `count` random bytes, each as two upper-case hex digits.
QString RandomHexBytes(QRandomGenerator &random, int count);
// stamp, random hex digits, ".dat".
QString UnsentFileName(const QString &stamp, const QString &hexDigits);
// "inc_", stamp, ".dat".
QString IncomingFileName(const QString &stamp);

// File contents in the single-byte code page: an Unsent file ends its line
// with CR LF, an Incoming file has no line end.
QByteArray UnsentFileContent(const QString &line);
QByteArray IncomingFileContent(const QString &line);

// The names in `folder` that a queue reader takes: files whose extension,
// lower-cased, is "dat", in name order (the stamp makes that oldest first).
// Raises platform::Error when the folder cannot be listed.
QStringList ListQueueFiles(const QString &folder);

// The file's first line, up to its first line end, or the whole file when
// it has none. Raises platform::Error when it cannot be read; an empty file
// has no first line and cannot be read either. With `maxLength` at 0 or
// more, no more than that many characters and a line end are read: a longer
// first line raises platform::Error, so a stray large file is not read whole.
QString ReadFirstLine(const QString &path, qsizetype maxLength = -1);

// A queue file written aside: complete and flushed to disk in its folder
// under a temporary name that no reader takes (it begins with "." and ends
// in ".tmp"), waiting to be placed under its queue name. A file that is
// destroyed before it is placed is deleted.
class AsideQueueFile {
public:
    AsideQueueFile() = default;
    AsideQueueFile(AsideQueueFile &&other) noexcept;
    AsideQueueFile &operator=(AsideQueueFile &&other) noexcept;
    AsideQueueFile(const AsideQueueFile &) = delete;
    AsideQueueFile &operator=(const AsideQueueFile &) = delete;
    ~AsideQueueFile();

    // Deletes the file unless it has been placed.
    void Discard() noexcept;

private:
    friend AsideQueueFile WriteQueueFileAside(const QString &folder, const QByteArray &content,
                                              const QString &temporaryFolder);
    friend QString PlaceQueueFile(AsideQueueFile &file, const std::function<QString()> &nextName);

    QString m_folder;
    QByteArray m_path;  // empty once placed or discarded
};

// The first step of creating a queue file: writes `content` aside for
// `folder`. The temporary file lies in `temporaryFolder` when one is given
// (it must be on the same file system), for folders whose readers take every
// file; else in `folder` itself. Raises platform::Error when it cannot be
// written; nothing is left behind then.
AsideQueueFile WriteQueueFileAside(const QString &folder, const QByteArray &content,
                                   const QString &temporaryFolder = QString());

// The second step: renames the file aside into place and returns its name.
// `nextName` proposes the name; while the name it proposed is taken it is
// asked again, so an existing file is never replaced. Raises platform::Error
// when the rename fails, or whatever `nextName` raises; the file then stays
// aside, to be placed again or discarded.
QString PlaceQueueFile(AsideQueueFile &file, const std::function<QString()> &nextName);

// Creates a new file in `folder` holding `content` and returns its name:
// both steps above, so nobody sees the file half written. Raises
// platform::Error when the file cannot be written (nothing is left behind),
// or whatever `nextName` raises.
QString CreateQueueFile(const QString &folder, const QByteArray &content, const std::function<QString()> &nextName,
                        const QString &temporaryFolder = QString());

// Renames `fromFolder`/`name` to `toFolder`/`toName`, never replacing a
// file; raises platform::Error 58 when `toName` is taken there, and others
// when the move fails otherwise.
void MoveQueueFile(const QString &fromFolder, const QString &name, const QString &toFolder, const QString &toName);

// Renames `name` in `folder` to `name` "." `suffix` (or, when that is taken,
// with "-2", "-3", ... after it), which no queue reader takes, and returns
// the new name. The file stays, so an administrator can look at it. Raises
// platform::Error when it cannot be renamed.
QString SetAsideQueueFile(const QString &folder, const QString &name, const QString &suffix);

// Proposes Unsent file names for PlaceQueueFile: the stamp of the moment
// asked, `randomBytes` random bytes in hex, ".dat"; drawn again while the
// name is taken in Sent, where the file moves under the same name.
std::function<QString()> UnsentFileNames(const QString &programFolder, QRandomGenerator &random, int randomBytes);

// Queues one outgoing message as a new Unsent file named by UnsentFileNames
// with two random bytes. Returns the name. Raises platform::Error when the
// file cannot be written.
QString CreateUnsentFile(const QString &programFolder, QRandomGenerator &random, const QString &line);

// The MessageDate field for the moment `when`: "yy/mm/dd hh:nn:ss".
QString MessageDateText(const QDateTime &when);
