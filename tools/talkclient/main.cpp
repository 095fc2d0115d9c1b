// talvinor-talk: logs in to the service, runs the requests given on the
// command line in order, and prints every answer and pushed message.
#include "common/md5.h"
#include "protocol/protocol.h"
#include "sealkit/clscipherbase.h"
#include "textkit/clsstring.h"

#include "platform/error.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTcpSocket>
#include <QTimer>
#include <cstdio>

namespace {

void say(const QString &text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

QString Decipher(const QString &data)
{
    return sealkit::clsCipherBase().Decrypt(textkit::clsString::CHex2Str(data), false);
}

class Talk : public QObject {
public:
    Talk(QString user, QString password, QStringList searches, QStringList sends, int pushes)
        : m_user(std::move(user)), m_password(std::move(password)), m_searches(std::move(searches)),
          m_sends(std::move(sends)), m_pushesWanted(pushes)
    {
        connect(&m_socket, &QTcpSocket::connected, this, &Talk::Login);
        connect(&m_socket, &QTcpSocket::readyRead, this, &Talk::Read);
        connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
            say(m_loggedIn ? QStringLiteral("connection closed by the service")
                           : QStringLiteral("login refused"));
            QCoreApplication::exit(m_loggedIn ? 1 : 2);
        });
        connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] {
            say(QStringLiteral("connection failed: ") + m_socket.errorString());
            QCoreApplication::exit(3);
        });
    }

    ~Talk() override { disconnect(&m_socket, nullptr, this, nullptr); }

    void Start(const QString &host, quint16 port) { m_socket.connectToHost(host, port); }

private:
    void Send(protocol::CommandCode code, const QString &data)
    {
        m_socket.write(protocol::PrepareDataToSend(code, data).toLatin1());
    }

    void Login()
    {
        say(QStringLiteral("connected; logging in as ") + m_user);
        Send(protocol::CMD_LOGIN, m_user + QLatin1Char('^') + common::PasswordDigest(m_password));
    }

    void Read()
    {
        m_buffer.Append(QString::fromLatin1(m_socket.readAll()));
        while (const auto message = m_buffer.NextMessage()) {
            try {
                if (const auto decoded = protocol::DecodeMessage(*message))
                    Handle(*decoded);
            } catch (const platform::Error &e) {
                say(QStringLiteral("undecodable message: ") + e.description());
            }
        }
    }

    void Handle(const protocol::Message &m)
    {
        switch (m.code) {
        case protocol::CMD_LOGIN_REPLY: {
            const QStringList fields = Decipher(m.data).split(QLatin1Char('|'));
            m_loggedIn = fields.size() >= 2 && fields[0] == QLatin1String("(Connected)");
            say(QStringLiteral("login reply: %1 (free numbers %2)")
                    .arg(m_loggedIn ? QStringLiteral("accepted") : QStringLiteral("not understood"), fields.value(1)));
            Next();
            break;
        }
        case protocol::CMD_PHONEBOOK_RESULT: {
            const QStringList records = m.data.isEmpty() ? QStringList() : m.data.split(QLatin1Char('|'));
            say(QStringLiteral("phone book: %1 row(s)").arg(records.size()));
            for (const QString &r : records)
                say(QStringLiteral("  ") + r);
            Next();
            break;
        }
        case protocol::CMD_NEW_SMS:
            say(QStringLiteral("pushed message: ") + Decipher(m.data));
            if (++m_pushesSeen >= m_pushesWanted && m_searches.isEmpty() && m_sends.isEmpty())
                QCoreApplication::exit(0);
            break;
        default:
            break;
        }
    }

    // Runs the next request; the searches wait for their answer.
    void Next()
    {
        if (!m_searches.isEmpty()) {
            const QString text = m_searches.takeFirst();
            say(QStringLiteral("searching for \"%1\"").arg(text));
            Send(protocol::CMD_PHONEBOOK_SEARCH, text);
            return;
        }
        while (!m_sends.isEmpty()) {
            const QString request = m_sends.takeFirst();
            say(QStringLiteral("sending ") + request);
            Send(protocol::CMD_SEND_SMS, request);
        }
        if (m_pushesSeen >= m_pushesWanted) {
            m_socket.flush();
            QTimer::singleShot(500, qApp, [] { QCoreApplication::exit(0); });
        } else {
            say(QStringLiteral("waiting for %1 pushed message(s)").arg(m_pushesWanted - m_pushesSeen));
        }
    }

    QTcpSocket m_socket;
    protocol::ReceiveBuffer m_buffer;
    QString m_user;
    QString m_password;
    QStringList m_searches;
    QStringList m_sends;
    int m_pushesWanted = 0;
    int m_pushesSeen = 0;
    bool m_loggedIn = false;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Logs in to the Talvinor SMS service, runs the searches and then the sends, and waits for pushed messages."));
    parser.addHelpOption();
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Service host."), QStringLiteral("host"),
                                  QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Service port."), QStringLiteral("port"),
                                  QStringLiteral("16395"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User name."), QStringLiteral("name"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("Password."), QStringLiteral("password"));
    const QCommandLineOption search(QStringLiteral("search"), QStringLiteral("Search the phone book (repeatable)."),
                                    QStringLiteral("text"));
    const QCommandLineOption send(QStringLiteral("send"),
                                  QStringLiteral("Send request \"numbers^entries^text\" (repeatable)."),
                                  QStringLiteral("request"));
    const QCommandLineOption pushes(QStringLiteral("wait-pushes"), QStringLiteral("Pushed messages to wait for."),
                                    QStringLiteral("count"), QStringLiteral("0"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QStringLiteral("Give up after this many seconds."),
                                     QStringLiteral("seconds"), QStringLiteral("120"));
    parser.addOptions({host, port, user, password, search, send, pushes, timeout});
    parser.process(app);
    if (!parser.isSet(user) || !parser.isSet(password)) {
        std::fprintf(stderr, "talvinor-talk: --user and --password are required\n");
        return 2;
    }
    Talk talk(parser.value(user), parser.value(password), parser.values(search), parser.values(send),
              parser.value(pushes).toInt());
    talk.Start(parser.value(host), static_cast<quint16>(parser.value(port).toUInt()));
    QTimer::singleShot(parser.value(timeout).toInt() * 1000, &app, [] {
        say(QStringLiteral("timed out"));
        QCoreApplication::exit(4);
    });
    return app.exec();
}
