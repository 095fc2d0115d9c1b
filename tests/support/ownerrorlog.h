#pragma once

// The error log of a test: tests run as separate processes side by side in
// one program folder, so every test keeps to a log named after itself.
#include "common/errorlog.h"
#include "platform/folders.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <gtest/gtest.h>

// "Suite_Test" of the running test, safe as a file name.
inline QString CurrentTestName()
{
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString name = QString::fromLatin1(info->test_suite_name()) + QLatin1Char('_') + QString::fromLatin1(info->name());
    return QString(name).replace(QLatin1Char('/'), QLatin1Char('_'));
}

inline QString ErrorLogPath()
{
    return QDir(platform::programFolder()).filePath(common::errorLogName);
}

// The error log as it stands, or nothing when there is none.
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
