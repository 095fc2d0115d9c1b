#include "scriptedservice.h"

#include "sealkit/clscipherbase.h"

#include <QTcpSocket>
#include <QTest>

ScriptedService::ScriptedService()
{
    server.listen(QHostAddress::LocalHost, 0);
}

QTcpSocket *ScriptedService::Accept()
{
    if (!server.hasPendingConnections() && !server.waitForNewConnection(10000))
        return nullptr;
    QTcpSocket *socket = server.nextPendingConnection();
    sockets.push_back(socket);
    return socket;
}

QStringList ScriptedService::Received(QTcpSocket *socket, int count)
{
    (void)QTest::qWaitFor([&] {
        buffer.Append(QString::fromLatin1(socket->readAll()));
        while (const auto message = buffer.NextMessage())
            messages << *message;
        return messages.size() >= count;
    }, 10000);
    return messages;
}

QList<protocol::Message> ScriptedService::Requests(QTcpSocket *socket, int count)
{
    QList<protocol::Message> requests;
    for (const QString &message : Received(socket, count))
        if (const auto decoded = protocol::DecodeMessage(message))
            requests << *decoded;
    return requests;
}

void ScriptedService::Write(QTcpSocket *socket, const QString &text)
{
    socket->write(text.toLatin1());
    socket->flush();
}

void ScriptedService::Send(QTcpSocket *socket, qint16 code, const QString &data)
{
    Write(socket, protocol::PrepareDataToSend(code, data));
}

void ScriptedService::SendEnciphered(QTcpSocket *socket, qint16 code, const QString &plain)
{
    Write(socket, Enciphered(code, plain));
}

QString ScriptedService::Enciphered(qint16 code, const QString &plain)
{
    return protocol::PrepareDataToSend(code, sealkit::clsCipherBase().Encrypt(plain, true));
}
