#pragma once

#include "connections.h"
#include "databases.h"
#include "servicelog.h"

#include "platform/logwriter.h"
#include "sealkit/clscipherbase.h"

#include <QHostAddress>
#include <QStringList>
#include <QTcpServer>
#include <gtest/gtest.h>

// The online entries as "user|index", in login order.
inline QStringList OnlineEntries(const Connections &connections)
{
    QStringList entries;
    for (const Connections::OnlineUser &entry : connections.OnlineUsers())
        entries << entry.user + QLatin1Char('|') + QString::number(entry.index);
    return entries;
}

// A fixture holding the service's own parts as the service holds them: its
// log, its databases and its client connections on a listening socket, over
// the program folder `folder` (a QTemporaryDir or a ProgramFolder).
template <class Folder>
class ServicePartsTest : public ::testing::Test {
protected:
    // Logs to the service's log file in the folder, opens the folder's
    // databases and listens for clients on a free port.
    void OpenServiceParts()
    {
        logFile.setLogFolder(folder.path());
        logFile.setLogName(QStringLiteral("TalvinorSMSSvc.log"));
        databases.OpenConnections(folder.path());
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        connections.Listen(server);
    }

    Folder folder;
    platform::LogWriter logFile;
    ServiceLog log{logFile};
    Databases databases{log};
    QTcpServer server;
    Connections connections{log};
    sealkit::clsCipherBase cipher;
};
