#pragma once

#include "common/errorlog.h"
#include "platform/folders.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <gtest/gtest.h>
#include <ostream>

// Tests run as separate processes side by side in one program folder, so
// every test keeps to files named after itself.
inline QString CurrentTestName()
{
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString name = QString::fromLatin1(info->test_suite_name()) + QLatin1Char('_') + QString::fromLatin1(info->name());
    return QString(name).replace(QLatin1Char('/'), QLatin1Char('_'));
}

inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

inline QString ErrorLogPath()
{
    return QDir(platform::programFolder()).filePath(common::errorLogName);
}

inline QByteArray ReadErrorLog()
{
    QFile file(ErrorLogPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Points the error log at a fresh file of this test's own.
inline void UseOwnErrorLog()
{
    common::errorLogName = CurrentTestName() + QStringLiteral(".log");
    QFile::remove(ErrorLogPath());
}
