#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

// The service-centre time stamp the PDU tests build their messages with.
inline QDateTime DeliverStamp()
{
    return QDateTime(QDate(2025, 2, 11), QTime(13, 5, 0), Qt::OffsetFromUTC, 3600);
}
