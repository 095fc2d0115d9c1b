#pragma once

#include "protocol/protocol.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <vector>

class QTcpSocket;

// The service's side of the client's connection, for tests: one listening
// socket on the loopback, the connections it accepted, and the messages
// they sent. The test plays the service frame by frame.
class ScriptedService {
public:
    ScriptedService();

    bool isListening() const { return server.isListening(); }
    quint16 port() const { return server.serverPort(); }

    // The next connection, once accepted; null when none comes in 10 s.
    QTcpSocket *Accept();

    // The messages received so far (frames without their "|"), waiting up
    // to 10 s for at least `count`.
    QStringList Received(QTcpSocket *socket, int count);
    // The same, decoded into code and data.
    QList<protocol::Message> Requests(QTcpSocket *socket, int count);

    static void Write(QTcpSocket *socket, const QString &text);
    // One frame of `data`, as it stands or enciphered as the service sends
    // its login reply and pushed messages.
    static void Send(QTcpSocket *socket, qint16 code, const QString &data);
    static void SendEnciphered(QTcpSocket *socket, qint16 code, const QString &plain);
    static QString Enciphered(qint16 code, const QString &plain);

    QTcpServer server;
    std::vector<QTcpSocket *> sockets;
    protocol::ReceiveBuffer buffer;
    QStringList messages;
};
