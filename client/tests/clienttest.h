#pragma once

#include "frmmain.h"
#include "pages.h"

#include "boxrecorder.h"
#include "ownerrorlog.h"

#include "common/errorlog.h"
#include "common/language.h"
#include "platform/folders.h"
#include "platform/inifile.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

// A client window on a fresh program folder holding the built language
// files, with every message box recorded and answered.
class ClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(QDir().mkpath(folder.filePath(QStringLiteral("lang"))));
        for (const QString &name : QDir(QStringLiteral(CLIENT_LANG_DIR)).entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(QStringLiteral(CLIENT_LANG_DIR "/") + name, folder.filePath(QStringLiteral("lang/") + name)));
        common::errorLogName = QStringLiteral("client_") + CurrentTestName() + QStringLiteral(".log");
        QFile::remove(ErrorLogPath());
    }

    void TearDown() override
    {
        window.reset();
        QFile::remove(ErrorLogPath());
    }

    QString SettingsPath() const { return folder.filePath(QStringLiteral("TalvinorSMSClient.ini")); }

    void Write(const QString &name, const QByteArray &bytes) const
    {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    QByteArray Read(const QString &name) const
    {
        QFile file(folder.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void WriteSettings(const QByteArray &keys) const { Write(QStringLiteral("TalvinorSMSClient.ini"), "[SMSClient]\r\n" + keys); }

    // A language file from UTF-8 lines, stored as the programs read it.
    void WriteLanguage(const QString &name, const QString &lines) const
    {
        QString text = lines;
        text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        QByteArray bytes("\xFF\xFE", 2);
        bytes.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        Write(QStringLiteral("lang/") + name, bytes);
    }

    void Start()
    {
        window = std::make_unique<frmMain>(folder.path());
        window->Form_Load();
    }

    template <class Control = QWidget>
    Control *Find(const QString &name) const
    {
        return window->findChild<Control *>(name);
    }

    // The error boxes shown so far, and the procedures they name.
    QStringList ErrorBoxes() const
    {
        QStringList texts;
        for (const common::Box &box : boxes.boxes) {
            if (box.title == QLatin1String("Error"))
                texts.append(box.text);
        }
        return texts;
    }

    // The picture of the store that the label shows, compared by pixels.
    bool Shows(QLabel *label, int picture) const
    {
        return label->pixmap().toImage() == window->imgImage.value(picture)->pixmap().toImage();
    }

    // The page box on view; -1 when none or more than one shows.
    int VisiblePage() const
    {
        int shown = -1;
        for (auto it = window->picPage.cbegin(); it != window->picPage.cend(); ++it) {
            if (it.value()->isHidden())
                continue;
            if (shown != -1)
                return -1;
            shown = it.key();
        }
        return shown;
    }

    QTemporaryDir folder;
    BoxRecorder boxes;
    std::unique_ptr<frmMain> window;
};
