// The incoming-message sound on the push road: the real window, a scripted
// service on a real socket pushing messages, and ALSA's "default" pointed at
// the file plugin, so what the client plays lands in a file.
#include "frmmain.h"
#include "pages.h"

#include "alsaconfig.h"
#include "boxrecorder.h"
#include "files.h"
#include "scriptedservice.h"
#include "text.h"

#include "clientsound/mdlsound.h"
#include "common/language.h"
#include "platform/inifile.h"
#include "protocol/protocol.h"
#include "sealkit/clscipherbase.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <gtest/gtest.h>
#include <memory>

namespace {

// The contents of a WAVE file's "data" chunk, found by walking its chunks.
QByteArray DataChunk(const QByteArray &wave)
{
    for (qsizetype at = 12; at + 8 <= wave.size();) {
        const quint32 size = qFromLittleEndian<quint32>(wave.constData() + at + 4);
        if (wave.mid(at, 4) == "data")
            return wave.mid(at + 8, size);
        at += 8 + size + (size & 1);
    }
    return {};
}

class PushSound : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(service.isListening());
        ASSERT_TRUE(QDir(dir.path()).mkpath(S(u"lang")));
        ASSERT_TRUE(QDir(dir.path()).mkpath(S(u"sound")));
        for (const char *code : {"en", "tr"})
            ASSERT_TRUE(QFile::copy(S(u"" CLIENT_LANG_DIR "/%1.ini").arg(QLatin1String(code)),
                                    dir.filePath(S(u"lang/%1.ini").arg(QLatin1String(code)))));
        chime = DataChunk(ReadAll(S(u"" CHIME_WAV)));
        ASSERT_FALSE(chime.isEmpty());
        ASSERT_TRUE(UseAlsaConfig(dir.filePath(S(u"alsa.conf")), CaptureDeviceConfig(CapturePath())));
    }

    void TearDown() override { window.reset(); }

    QString CapturePath() const { return dir.filePath(S(u"capture.raw")); }
    QString SoundPath() const { return dir.filePath(S(u"sound/incoming_message.wav")); }

    void InstallChime() const { ASSERT_TRUE(QFile::copy(S(u"" CHIME_WAV), SoundPath())); }

    // Starts the client with `sound` as the settings file's Sound value.
    void Start(const char *sound)
    {
        platform::IniFile ini;
        ini.setIniPath(dir.filePath(S(u"TalvinorSMSClient.ini")));
        ini.WriteValue(S(u"SMSClient"), S(u"Language"), S(u"en"));
        ini.WriteValue(S(u"SMSClient"), S(u"ServerIP"), S(u"127.0.0.1"));
        ini.WriteValue(S(u"SMSClient"), S(u"ServerPort"), QString::number(service.port()));
        ini.WriteValue(S(u"SMSClient"), S(u"Sound"), QString::fromUtf8(sound));
        window = std::make_unique<frmMain>(dir.path());
        window->Form_Load();
    }

    // Logs in from the login page as the user types it; the service's end.
    QTcpSocket *LogIn()
    {
        QTest::keyClicks(window->pageLogin->txtUsername, S(u"bob"));
        QTest::keyClicks(window->pageLogin->txtPassword, S(u"pw"));
        QTest::keyClick(window->pageLogin->txtPassword, Qt::Key_Return);
        QTcpSocket *socket = service.Accept();
        if (!socket || !QTest::qWaitFor([&] { return window->connection->LoginPending; }, 10000))
            return nullptr;
        service.SendEnciphered(socket, protocol::CMD_LOGIN_REPLY, S(u"(Connected)|1"));
        return QTest::qWaitFor([&] { return window->connection->LoggedIn; }, 10000) ? socket : nullptr;
    }

    // Pushes one message and waits until the window has kept it.
    bool Push(QTcpSocket *socket)
    {
        const qsizetype before = window->store.InboxMessages.size();
        service.SendEnciphered(socket, protocol::CMD_NEW_SMS, S(u"bob,+905557770001,24/01/05 10:00:00,hello"));
        return QTest::qWaitFor([&] { return window->store.InboxMessages.size() > before; }, 10000);
    }

    // Waits until the play has ended and what it wrote has reached the file.
    QByteArray CapturedPlay(qsizetype expected)
    {
        (void)QTest::qWaitFor(
            [&] { return !mdlSound::IsWaveDeviceOpen() && ReadAll(CapturePath()).size() >= expected; }, 20000);
        return ReadAll(CapturePath());
    }

    QStringList BoxTexts() const
    {
        QStringList texts;
        for (const common::Box &box : boxes.boxes)
            texts << box.text;
        return texts;
    }

    QTemporaryDir dir;
    ScriptedService service;
    BoxRecorder boxes;
    QByteArray chime;
    std::unique_ptr<frmMain> window;
};

} // namespace

TEST_F(PushSound, APushPlaysTheChimeOnlyWithSoundOn)
{
    const struct {
        const char *sound;
        bool plays;
    } cases[] = {{"1", true}, {"0", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sound);
        QFile::remove(CapturePath());
        QFile::remove(SoundPath());
        InstallChime();
        Start(c.sound);
        QTcpSocket *socket = LogIn();
        ASSERT_TRUE(socket);
        ASSERT_TRUE(Push(socket));
        if (c.plays) {
            EXPECT_EQ(CapturedPlay(chime.size()), chime);
        } else {
            // The device was never opened: the capture file would exist.
            // The push has been handled to its end: what it queued runs now.
            QCoreApplication::processEvents();
            EXPECT_FALSE(mdlSound::IsWaveDeviceOpen());
            EXPECT_FALSE(QFile::exists(CapturePath()));
        }
        EXPECT_EQ(window->lblAlert->text(), common::LanguageText(S(u"new_sms_message")) + S(u"!"));
        EXPECT_TRUE(boxes.boxes.isEmpty()) << BoxTexts().join(S(u" | ")).toStdString();
        window.reset();
    }
}

TEST_F(PushSound, TheSettingsPageTurnsTheSoundOffAndOnAgain)
{
    InstallChime();
    Start("1");
    QTcpSocket *socket = LogIn();
    ASSERT_TRUE(socket);
    auto *cboSound = window->findChild<QComboBox *>(S(u"cboSound"));
    ASSERT_TRUE(cboSound);
    const auto saveSound = [&](Qt::Key key) {
        if (!window->picAlert->isHidden()) // the alert takes the first click
            QTest::mouseClick(window->picAlert, Qt::LeftButton);
        window->ShowPage(4);
        QTest::keyClick(cboSound, key);
        QTest::mouseClick(window->imgButton[1], Qt::LeftButton);
    };

    saveSound(Qt::Key_Down); // "off"
    ASSERT_FALSE(window->settings.sound);
    ASSERT_TRUE(Push(socket));
    QCoreApplication::processEvents();
    EXPECT_FALSE(mdlSound::IsWaveDeviceOpen());
    EXPECT_FALSE(QFile::exists(CapturePath()));

    saveSound(Qt::Key_Up); // "on"
    ASSERT_TRUE(window->settings.sound);
    ASSERT_TRUE(Push(socket));
    EXPECT_EQ(CapturedPlay(chime.size()), chime);
    EXPECT_TRUE(boxes.boxes.isEmpty()) << BoxTexts().join(S(u" | ")).toStdString();
}

TEST_F(PushSound, ABadSoundFileIsReportedOnceAtStartAndNoMessageIsLost)
{
    const struct {
        const char *name;
        QByteArray file; // empty: no sound file at all
        const char *box;
    } cases[] = {
        {"no sound file", QByteArray(), "Error opening input file, rc = 2"},
        {"not a wave file", QByteArray("RIFF\x04\x00\x00\x00" "AVI ", 12), "Not a wave file"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        boxes.boxes.clear();
        QFile::remove(SoundPath());
        if (!c.file.isEmpty()) {
            QFile file(SoundPath());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.file);
        }
        Start("1");
        ASSERT_EQ(boxes.boxes.size(), 1);
        EXPECT_EQ(boxes.boxes[0].text, QString::fromUtf8(c.box));
        EXPECT_EQ(boxes.boxes[0].title, S(u"TalvinorSMSClient"));
        EXPECT_EQ(boxes.boxes[0].buttons, QMessageBox::Ok);
        EXPECT_FALSE(mdlSound::State().fileOpen);

        // Nothing can be played now: each message says so, and is kept.
        QTcpSocket *socket = LogIn();
        ASSERT_TRUE(socket);
        for (int pushes = 1; pushes <= 2; ++pushes) {
            ASSERT_TRUE(Push(socket));
            ASSERT_EQ(boxes.boxes.size(), 1 + pushes);
            EXPECT_EQ(boxes.boxes.last().text, S(u"Invalid argument"));
            EXPECT_EQ(boxes.boxes.last().title, S(u"TalvinorSMSClient"));
            EXPECT_EQ(window->store.InboxMessages.size(), pushes);
            EXPECT_EQ(window->lblAlert->text(), common::LanguageText(S(u"new_sms_message")) + S(u"!"));
        }
        EXPECT_FALSE(mdlSound::IsWaveDeviceOpen());
        window.reset();
    }
}

TEST_F(PushSound, ClosingTheWindowDuringPlaybackStopsAndClosesAtOnce)
{
    // An output at the real rate, so the chime is still playing at the click.
    ASSERT_TRUE(UseAlsaConfig(dir.filePath(S(u"alsa.conf")), PacedDeviceConfig(PACED_PCM_MODULE)));
    InstallChime();
    Start("1");
    QTcpSocket *socket = LogIn();
    ASSERT_TRUE(socket);
    ASSERT_TRUE(Push(socket));
    ASSERT_TRUE(QTest::qWaitFor([] { return mdlSound::GetWavePosition() > 0; }, 10000));
    ASSERT_TRUE(mdlSound::IsWaveDeviceOpen());

    QSignalSpy unloaded(window.get(), &frmMain::unloaded);
    QTest::mouseClick(window->imgCloseButton, Qt::LeftButton);
    ASSERT_EQ(unloaded.count(), 1);
    EXPECT_FALSE(mdlSound::IsWaveDeviceOpen());
    EXPECT_FALSE(mdlSound::State().playing);
    EXPECT_FALSE(mdlSound::State().fileOpen);

    // No notice of the stopped play may open or feed a device any more.
    QTest::qWait(300);
    EXPECT_FALSE(mdlSound::IsWaveDeviceOpen());
    window.reset();
    EXPECT_FALSE(mdlSound::IsWaveDeviceOpen());
}
