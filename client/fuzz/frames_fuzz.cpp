// Arbitrary bytes as the client would receive them from the service: cut at
// every "|" and handled as the connection handles each message (a login
// reply while one is pending, pushes kept in a message store), and the same
// bytes read as a message file. Errors are reported through the error log;
// a crash or a sanitizer report is a fault.
#include "clientconnection/serviceconnection.h"
#include "clientstore/messagestore.h"

#include "common/errorlog.h"
#include "platform/codepage.h"
#include "platform/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

struct Fixture {
    Fixture()
    {
        static int argc = 1;
        static char name[] = "client_frames_fuzz";
        static char *argv[] = {name, nullptr};
        app = std::make_unique<QCoreApplication>(argc, argv);
        common::errorLogName = QStringLiteral("client_frames_fuzz.log");
        QDir(dir.path()).mkdir(QStringLiteral("users"));
        store = std::make_unique<MessageStore>(dir.filePath(QStringLiteral("users")));
        store->OpenMessageStore(QStringLiteral("fuzz"));
        QObject::connect(&connection, &ServiceConnection::NewSMS, [this](const QString &data) {
            try {
                store->KeepPushedSMS(data);
            } catch (const platform::Error &) {
            }
        });
    }

    std::unique_ptr<QCoreApplication> app;
    QTemporaryDir dir;
    std::unique_ptr<MessageStore> store;
    ServiceConnection connection;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Fixture fixture;
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    fixture.connection.LoginPending = true;
    protocol::ReceiveBuffer buffer;
    buffer.Append(platform::codepage::fromAnsi(bytes));
    while (const auto message = buffer.NextMessage())
        fixture.connection.ExecuteCommand(*message);

    const QString path = fixture.dir.filePath(QStringLiteral("message.sms"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
        file.close();
        try {
            (void)GetDecryptedSMS(path);
        } catch (const platform::Error &) {
        }
    }
    // The store stays small: what the pushes kept is forgotten.
    if (fixture.store->InboxMessages.size() > 1000) {
        for (const SmsRef &record : fixture.store->InboxMessages)
            QFile::remove(record->FileName);
        fixture.store->InboxMessages.clear();
    }
    return 0;
}
