#include "clientstore/messagestore.h"

#include "common/errorlog.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "sealkit/clscipherbase.h"
#include "store/queuefiles.h"
#include "textkit/clsstring.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentMap>
#include <algorithm>
#include <exception>

namespace {

const QString ModuleName = QStringLiteral("frmMain");

constexpr int ErrPathNotFound = platform::ErrPathNotFound;
constexpr int ErrBadFileFormat = 321;
constexpr int ErrPermissionDenied = 70;

sealkit::clsCipherBase &Cipher()
{
    static sealkit::clsCipherBase cipher;
    return cipher;
}

QRandomGenerator &Random()
{
    static QRandomGenerator random(QRandomGenerator::securelySeeded());
    return random;
}

bool IsHexDigits(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
            || (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
    });
}

// Split at "," into at most four parts: only the message may hold commas.
QStringList SplitFourFields(const QString &plain)
{
    QStringList parts;
    qsizetype from = 0;
    while (parts.size() < 3) {
        const qsizetype comma = plain.indexOf(QLatin1Char(','), from);
        if (comma < 0)
            break;
        parts << plain.mid(from, comma - from);
        from = comma + 1;
    }
    parts << plain.mid(from);
    return parts;
}

QString MoveIntoFolder(const QString &path, const QString &folder)
{
    const QFileInfo from(path);
    QString name = from.fileName();
    for (;;) {
        try {
            MoveQueueFile(from.absolutePath(), from.fileName(), folder, name);
            return QDir(folder).filePath(name);
        } catch (const platform::Error &e) {
            if (e.number() != platform::ErrFileAlreadyExists)
                throw;
        }
        name = MessageFileName(QDateTime::currentDateTime(), Random());
    }
}

} // namespace

QString MessageFileName(const QDateTime &when, QRandomGenerator &random)
{
    return FileStamp(when) + RandomHexBytes(random, 3) + QStringLiteral(".sms");
}

QString SaveSMS(const QString &folder, const QString &line, const QString &temporaryFolder)
{
    const QString name = CreateQueueFile(folder, platform::codepage::toAnsi(line) + "\r\n",
                                         [] { return MessageFileName(QDateTime::currentDateTime(), Random()); },
                                         temporaryFolder);
    return QDir(folder).filePath(name);
}

clsSms DecryptedSMS(const QString &hexLine)
{
    if (hexLine.size() > MaxCipherHexLength || hexLine.size() % 2 != 0 || !IsHexDigits(hexLine))
        throw platform::Error(ErrBadFileFormat,
                              QStringLiteral("Not a message line: an even number of at most %1 hex digits was expected").arg(MaxCipherHexLength));
    const QStringList fields = SplitFourFields(Cipher().Decrypt(textkit::clsString::CHex2Str(hexLine), false));
    if (fields.size() < 4)
        throw platform::Error(ErrBadFileFormat, QStringLiteral("Not a message line: it does not decipher into four fields"));
    clsSms record;
    record.setMessage(fields[3]);
    record.setMessageDate(fields[2]);
    record.setPhoneNumber(fields[1]);
    record.setUserName(fields[0]);
    return record;
}

clsSms GetDecryptedSMS(const QString &path)
{
    // A pipe or a device holds no message, and opening one to read could
    // wait for ever.
    if (!QFileInfo(path).isFile())
        throw platform::Error(ErrBadFileFormat, path + QStringLiteral(": not a regular file"));
    const QString line = ReadFirstLine(path, MaxCipherHexLength);
    try {
        clsSms record = DecryptedSMS(line);
        record.FileName = path;
        return record;
    } catch (const platform::Error &e) {
        throw platform::Error(e.number(), path + QStringLiteral(": ") + e.description());
    }
}

void SortSMS(SmsCollection &collection)
{
    try {
        std::stable_sort(collection.begin(), collection.end(), [](const SmsRef &a, const SmsRef &b) {
            return QStringView(a->MessageDate()).compare(QStringView(b->MessageDate()), Qt::CaseSensitive) > 0;
        });
    } catch (...) {
        common::LogError(QStringLiteral("mdlGlobals"), QStringLiteral("SortSMS"));
    }
}

MessageStore::MessageStore(QString usersFolder) : m_usersFolder(std::move(usersFolder)) {}

QString MessageStore::FolderPath(const char *folderName) const
{
    return QDir(m_userFolder).filePath(QString::fromLatin1(folderName));
}

bool MessageStore::SentFolderHasFiles() const
{
    if (m_userFolder.isEmpty())
        return false;
    return !QDir(FolderPath(SentFolderName)).entryList(QDir::Files | QDir::Hidden | QDir::System).isEmpty();
}

// The service matches user names without regard to case, so "Bob" and
// "bob" are one user and must share one folder.
QString MessageStore::UserFolderFor(const QString &userName) const
{
    if (userName.isEmpty())
        throw platform::Error(ErrPathNotFound, QStringLiteral("No user name: there is no message store to open"));
    const QDir users(m_usersFolder);
    if (!users.exists())
        throw platform::Error(ErrPathNotFound, QStringLiteral("Path not found: ") + m_usersFolder);
    const QStringList folders = users.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    if (folders.contains(userName))
        return users.filePath(userName);
    for (const QString &folder : folders)
        if (folder.compare(userName, Qt::CaseInsensitive) == 0)
            return users.filePath(folder);
    return users.filePath(userName);
}

void MessageStore::OpenMessageStore(const QString &userName)
{
    m_userFolder.clear();
    InboxMessages.clear();
    SentMessages.clear();
    UnreadCount = 0;
    try {
        const QString userFolder = UserFolderFor(userName);
        const QDir folder(userFolder);
        // Other people's messages are nobody else's business on a shared PC.
        const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        if (!folder.exists() && !QDir().mkdir(userFolder, ownerOnly))
            throw platform::Error(ErrPermissionDenied, QStringLiteral("Cannot create ") + userFolder);
        if (!QFile::setPermissions(userFolder, ownerOnly))
            throw platform::Error(ErrPermissionDenied, QStringLiteral("Cannot make %1 private").arg(userFolder));
        for (const char *name : {SentFolderName, InboxFolderName, UnreadFolderName})
            if (!folder.exists(QString::fromLatin1(name)) && !folder.mkdir(QString::fromLatin1(name)))
                throw platform::Error(ErrPermissionDenied, QStringLiteral("Cannot create ") + folder.filePath(QString::fromLatin1(name)));
        m_userFolder = userFolder;

        QString firstFailure;
        LoadFolder(SentFolderName, false, SentMessages, firstFailure);
        LoadFolder(UnreadFolderName, true, InboxMessages, firstFailure);
        UnreadCount = static_cast<qint32>(InboxMessages.size());
        LoadFolder(InboxFolderName, false, InboxMessages, firstFailure);
        SortSMS(InboxMessages);
        if (!firstFailure.isEmpty())
            common::ShowErrorBox(firstFailure);
    } catch (...) {
        common::LogError(ModuleName, QStringLiteral("OpenMessageStore"));
    }
}

// Files in name order, which is the order they were made in. The files
// are independent, so worker threads read and decipher them; the records,
// and the reports of files that give none, then follow in that order.
void MessageStore::LoadFolder(const char *folderName, bool unread, SmsCollection &into, QString &firstFailure)
{
    const QDir folder(FolderPath(folderName));
    if (!folder.exists())
        throw platform::Error(ErrPathNotFound, QStringLiteral("Path not found: ") + folder.path());
    QStringList paths = folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (QString &name : paths)
        name = folder.filePath(name);
    struct Loaded {
        SmsRef record;
        std::exception_ptr failure;
    };
    const auto load = [](const QString &path) {
        try {
            return Loaded{std::make_shared<clsSms>(GetDecryptedSMS(path)), nullptr};
        } catch (const platform::Error &) {
            return Loaded{nullptr, std::current_exception()};
        }
    };
    const QList<Loaded> loaded = QtConcurrent::blockingMapped<QList<Loaded>>(paths, load);
    into.reserve(into.size() + loaded.size());
    for (const Loaded &file : loaded) {
        if (file.record) {
            file.record->IsUnread = unread;
            into.append(file.record);
            continue;
        }
        try {
            std::rethrow_exception(file.failure);
        } catch (const platform::Error &) {
            const QString text = common::WriteErrorEntry(ModuleName, QStringLiteral("GetDecryptedSMS"));
            if (firstFailure.isEmpty())
                firstFailure = text;
        }
    }
}

QString MessageStore::SaveInFolder(const char *folderName, const QString &line)
{
    if (m_userFolder.isEmpty())
        throw platform::Error(ErrPathNotFound, QStringLiteral("No message store is open"));
    return SaveSMS(FolderPath(folderName), line, m_userFolder);
}

qsizetype MessageStore::KeepPushedSMS(const QString &data)
{
    auto record = std::make_shared<clsSms>(DecryptedSMS(data));
    record->IsUnread = true;
    try {
        record->FileName = SaveInFolder(UnreadFolderName, data);
    } catch (...) {
        common::LogError(ModuleName, QStringLiteral("SaveSMS"));
    }
    ++UnreadCount;
    const auto at = std::lower_bound(InboxMessages.begin(), InboxMessages.end(), record->MessageDate(),
                                     [](const SmsRef &r, const QString &date) {
                                         return QStringView(r->MessageDate()).compare(QStringView(date)) > 0;
                                     });
    const qsizetype index = at - InboxMessages.begin();
    InboxMessages.insert(index, std::move(record));
    return index;
}

SmsRef MessageStore::NewSMSSave(const QString &userName, const QString &recipient, const QString &body,
                                const QDateTime &now)
{
    auto record = std::make_shared<clsSms>();
    record->IsUnread = false;
    record->setMessage(body);
    record->setMessageDate(MessageDateText(now));
    record->setPhoneNumber(recipient);
    record->setUserName(userName);
    // Line breaks are kept as "|", as in received files: a CR LF pair would
    // take two of the copy's 160 characters and cut its end.
    record->FileName = SaveInFolder(SentFolderName, Cipher().Encrypt(QString(record->text()).replace(QStringLiteral("\r\n"), QStringLiteral("|")), true));
    SentMessages.append(record);
    return record;
}

void MessageStore::MarkRead(const SmsRef &record)
{
    if (!record->IsUnread)
        return;
    if (!record->FileName.isEmpty())
        record->FileName = MoveIntoFolder(record->FileName, FolderPath(InboxFolderName));
    record->IsUnread = false;
    --UnreadCount;
}

bool MessageStore::Delete(SmsRef record)
{
    if (!record->FileName.isEmpty()) {
        QFile file(record->FileName);
        if (!file.exists())
            return false;
        if (!file.remove())
            throw platform::Error(ErrPermissionDenied,
                                  QStringLiteral("Cannot delete %1: %2").arg(record->FileName, file.errorString()));
    }
    InboxMessages.removeOne(record);
    SentMessages.removeOne(record);
    if (record->IsUnread)
        --UnreadCount;
    return true;
}
