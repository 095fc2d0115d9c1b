#include "gui/arbutton.h"
#include "gui/msgbox.h"
#include "gui/skinnedwindow.h"

#include "boxrecorder.h"
#include "common/errorlog.h"
#include "common/language.h"
#include "platform/error.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

const QRgb Key = qRgb(255, 0, 255);

// 40 x 30, grey, with a keyed 5 x 5 corner and a keyed pixel in the middle.
QImage SmallSkin()
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(qRgb(87, 101, 108));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            image.setPixel(x, y, Key);
    image.setPixel(20, 15, Key);
    image.setPixel(21, 15, qRgb(255, 0, 254));
    return image;
}

void SendMouse(QWidget *target, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, QPoint local)
{
    QMouseEvent event(type, QPointF(local), QPointF(target->mapToGlobal(local)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

TEST(SkinnedWindow, ShapeLeavesOutExactlyTheColourKeyPixels)
{
    gui::SkinnedWindow window;
    window.setSkin(SmallSkin());
    EXPECT_EQ(window.size(), QSize(40, 30));
    const QRegion shape = window.mask();
    EXPECT_FALSE(shape.contains(QPoint(0, 0)));
    EXPECT_FALSE(shape.contains(QPoint(4, 4)));
    EXPECT_FALSE(shape.contains(QPoint(20, 15)));
    EXPECT_TRUE(shape.contains(QPoint(5, 4)));
    EXPECT_TRUE(shape.contains(QPoint(21, 15)));
    EXPECT_TRUE(shape.contains(QPoint(39, 29)));
}

TEST(SkinnedWindow, IsFramelessWithMinimizeAndSystemMenuAndTakesItsOpacity)
{
    gui::SkinnedWindow window;
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    window.setAlpha(200);
    EXPECT_NEAR(window.windowOpacity(), 200 / 255.0, 0.005);
    window.setAlpha(255);
    EXPECT_DOUBLE_EQ(window.windowOpacity(), 1.0);
}

TEST(SkinnedWindow, OnlyTheLeftButtonAloneDragsTheWindow)
{
    struct Case {
        const char *name;
        bool onMoveHandle;
        QEvent::Type type;
        Qt::MouseButton button;
        Qt::MouseButtons buttons;
        bool drags;
    } cases[] = {
        {"left press on the body", false, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, true},
        {"right press on the body", false, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, false},
        {"left press while right held", false, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton | Qt::RightButton, false},
        {"move over a page with left held", true, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, true},
        {"move over a page with left and right", true, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton | Qt::RightButton, false},
        {"move over a page, no button", true, QEvent::MouseMove, Qt::NoButton, Qt::NoButton, false},
    };
    for (const Case &c : cases) {
        gui::SkinnedWindow window;
        window.setSkin(SmallSkin());
        auto *page = new QLabel(&window);
        page->setGeometry(10, 10, 20, 15);
        window.addDragHandle(page, true);
        window.move(100, 100);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QSignalSpy started(&window, &gui::SkinnedWindow::dragStarted);

        QWidget *target = c.onMoveHandle ? static_cast<QWidget *>(page) : &window;
        SendMouse(target, c.type, c.button, c.buttons, QPoint(12, 8));
        EXPECT_EQ(started.size(), c.drags ? 1 : 0) << c.name;
        // Without a window manager the window follows the pointer itself.
        const QPoint before = window.pos();
        SendMouse(target, QEvent::MouseMove, Qt::NoButton, c.buttons, QPoint(32, 38));
        EXPECT_EQ(window.pos() - before, c.drags ? QPoint(20, 30) : QPoint(0, 0)) << c.name;
        SendMouse(target, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, QPoint(32, 38));
        const QPoint released = window.pos();
        SendMouse(target, QEvent::MouseMove, Qt::NoButton, Qt::NoButton, QPoint(50, 50));
        EXPECT_EQ(window.pos(), released) << c.name;
    }
}

TEST(SkinnedWindow, PressOnAHandleDragsButAMoveOverItDoesNotUnlessAsked)
{
    gui::SkinnedWindow window;
    window.setSkin(SmallSkin());
    auto *caption = new QLabel(&window);
    caption->setGeometry(5, 0, 30, 8);
    window.addDragHandle(caption);
    window.show();
    QSignalSpy started(&window, &gui::SkinnedWindow::dragStarted);
    SendMouse(caption, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, QPoint(2, 2));
    EXPECT_EQ(started.size(), 0);
    SendMouse(caption, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, QPoint(2, 2));
    EXPECT_EQ(started.size(), 1);
}

TEST(ARButton, ClickCaptionAndToolTip)
{
    gui::ARButton button;
    button.setCaption(QStringLiteral("Kaydet"));
    button.setToolTip(QStringLiteral("Kaydet"));
    button.resize(80, 24);
    button.show();
    QSignalSpy clicked(&button, &gui::ARButton::clicked);
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::RightButton);
    EXPECT_EQ(clicked.size(), 1);
    EXPECT_EQ(button.caption(), QStringLiteral("Kaydet"));
    EXPECT_EQ(button.toolTip(), QStringLiteral("Kaydet"));
    button.setFocus();
    QTest::keyClick(&button, Qt::Key_Space);
    EXPECT_EQ(clicked.size(), 2);
}

TEST(MsgBox, StylesGiveIconsAndButtonsAndKeysGiveTexts)
{
    common::languageCode = QStringLiteral("en");
    common::ReadUnicodeLang();
    ASSERT_EQ(common::LanguageText(QStringLiteral("warning")), QStringLiteral("Warning"));

    BoxRecorder recorder;
    recorder.answers = {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::No};
    EXPECT_EQ(gui::MsgBox(QStringLiteral("message_is_empty"), gui::vbExclamation, QStringLiteral("warning")), QMessageBox::Ok);
    EXPECT_EQ(gui::MsgBox(QStringLiteral("settings_saved"), gui::vbInformation, QStringLiteral("information")), QMessageBox::Ok);
    EXPECT_EQ(gui::MsgBoxText(QStringLiteral("Delete it?"), gui::vbYesNoQuestion, QStringLiteral("Sound")), QMessageBox::No);
    EXPECT_EQ(gui::MsgBoxText(QStringLiteral("Again?"), gui::vbYesNoQuestion, QString()), QMessageBox::Yes);

    ASSERT_EQ(recorder.boxes.size(), 4);
    const common::Box &refusal = recorder.boxes[0];
    EXPECT_EQ(refusal.icon, QMessageBox::Warning);
    EXPECT_EQ(refusal.buttons, QMessageBox::Ok);
    EXPECT_EQ(refusal.text, QStringLiteral("The message is empty."));
    EXPECT_EQ(refusal.title, QStringLiteral("Warning"));
    EXPECT_EQ(recorder.boxes[1].icon, QMessageBox::Information);
    EXPECT_EQ(recorder.boxes[1].buttons, QMessageBox::Ok);
    EXPECT_EQ(recorder.boxes[2].icon, QMessageBox::Question);
    EXPECT_EQ(recorder.boxes[2].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(recorder.boxes[2].text, QStringLiteral("Delete it?"));
    EXPECT_EQ(recorder.boxes[2].title, QStringLiteral("Sound"));
}

TEST(MsgBox, TheErrorBoxGoesThroughTheSameSeam)
{
    common::errorLogName = QStringLiteral("gui_tests.log");
    BoxRecorder recorder;
    try {
        throw platform::Error(6, QStringLiteral("Overflow"));
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("SetLanguage"));
    }
    ASSERT_EQ(recorder.boxes.size(), 1);
    EXPECT_EQ(recorder.boxes[0].title, QStringLiteral("Error"));
    EXPECT_EQ(recorder.boxes[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(recorder.boxes[0].text.contains(QStringLiteral("Overflow")));
}

TEST(MsgBox, AQuestionTakesYesOnEnterAndNoOnEsc)
{
    const struct {
        Qt::Key key;
        QMessageBox::StandardButton answer;
    } cases[] = {{Qt::Key_Return, QMessageBox::Yes}, {Qt::Key_Escape, QMessageBox::No}};
    for (const auto &c : cases) {
        // The real box: the key goes to it once it is shown.
        QTimer::singleShot(0, [key = c.key] {
            QWidget *box = QApplication::activeModalWidget();
            ASSERT_NE(box, nullptr);
            QTest::keyClick(box, key);
        });
        EXPECT_EQ(gui::MsgBoxText(QStringLiteral("Delete?"), gui::vbYesNoQuestion, QStringLiteral("Question")), c.answer) << c.key;
    }
}
