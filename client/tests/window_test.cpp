#include "clienttest.h"

#include "gui/arbutton.h"
#include "gui/skinnedwindow.h"
#include "uflist.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

namespace {

using Window = ClientTest;

void SendMouse(QWidget *target, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    const QPointF local(target->width() / 2.0, target->height() / 2.0);
    QMouseEvent event(type, local, target->mapToGlobal(local), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void MoveOver(QWidget *target, Qt::MouseButtons buttons = Qt::NoButton)
{
    SendMouse(target, QEvent::MouseMove, Qt::NoButton, buttons);
}

} // namespace

TEST_F(Window, EveryControlIsPlacedUnderItsDesignedName)
{
    Start();
    struct Control {
        const char *name;
        const char *className;
        int page;  // the page box that holds it; -1 for the window itself
    } controls[] = {
        {"lblPage", "QLabel", -1}, {"lblDate", "QLabel", -1}, {"imgLoggedIn", "QLabel", -1}, {"imgNewMsg", "QLabel", -1},
        {"picAlert", "QFrame", -1}, {"imgButton(1)", "QLabel", -1}, {"imgButton(2)", "QLabel", -1},
        {"imgButton(3)", "QLabel", -1}, {"lblSelect", "QLabel", -1}, {"lblHome", "QLabel", -1}, {"lblBack", "QLabel", -1},
        {"imgCloseButton", "QLabel", -1}, {"imgMinimizeButton", "QLabel", -1},
        {"lblMenu(1)", "QLabel", 0}, {"lblMenu(5)", "QLabel", 0}, {"imgIcon(1)", "QLabel", 0}, {"imgIcon(5)", "QLabel", 0},
        {"lblSelection", "QLabel", 0},
        {"lblNewSMS(0)", "QLabel", 1}, {"lblNewSMS(1)", "QLabel", 1}, {"txtPhoneNumber", "QLineEdit", 1},
        {"imgPhonebookButton", "gui::ARButton", 1}, {"uflContacts", "ucUFList", 1}, {"txtMessage", "QTextEdit", 1},
        {"lblFreeCharacters", "QLabel", 1},
        {"lblIncomingSMS", "QLabel", 2}, {"lvInbox", "QTreeWidget", 2}, {"txtIncomingSMS", "QPlainTextEdit", 2},
        {"lblSentItems", "QLabel", 3}, {"lvSent", "QTreeWidget", 3}, {"txtSentItem", "QPlainTextEdit", 3},
        {"lblConfig(0)", "QLabel", 4}, {"lblConfig(3)", "QLabel", 4}, {"txtServerIP", "QLineEdit", 4},
        {"txtServerPort", "QLineEdit", 4}, {"cboLanguage", "QComboBox", 4}, {"cboSound", "QComboBox", 4},
        {"lblLogin(0)", "QLabel", 5}, {"lblLogin(1)", "QLabel", 5}, {"txtUsername", "QLineEdit", 5},
        {"txtPassword", "QLineEdit", 5}, {"chkSavePassword", "QCheckBox", 5},
        {"txtPhonebookSearch", "QLineEdit", 7}, {"imgPhonebookSearchButton", "gui::ARButton", 7},
        {"lsvPhonebook", "QTreeWidget", 7}, {"lblPhonebookSelectAll", "QLabel", 7}, {"lblPhonebookClearAll", "QLabel", 7},
        {"lblPhonebookToggle", "QLabel", 7},
    };
    for (const Control &c : controls) {
        SCOPED_TRACE(c.name);
        QWidget *control = Find(QLatin1String(c.name));
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(control->inherits(c.className)) << control->metaObject()->className();
        QWidget *owner = c.page < 0 ? window.get() : Find(QStringLiteral("picPage(%1)").arg(c.page));
        EXPECT_TRUE(owner->isAncestorOf(control) || control->parentWidget() == owner);
    }
    for (int page : frmMain::Pages) {
        QWidget *box = Find(QStringLiteral("picPage(%1)").arg(page));
        ASSERT_NE(box, nullptr) << page;
        EXPECT_EQ(box->parentWidget(), window.get());
    }
    EXPECT_EQ(Find(QStringLiteral("picPage(6)")), nullptr);
    for (int picture : {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16}) {
        auto *image = Find<QLabel>(QStringLiteral("imgImage(%1)").arg(picture));
        ASSERT_NE(image, nullptr) << picture;
        EXPECT_TRUE(image->isHidden());
        EXPECT_FALSE(image->pixmap().isNull()) << picture;
    }
    EXPECT_EQ(Find<QLabel>(QStringLiteral("imgImage(9)")), nullptr);
    EXPECT_NE(window->findChild<QTimer *>(QStringLiteral("tmrStatus")), nullptr);
    EXPECT_EQ(window->findChild<QTimer *>(QStringLiteral("tmrStatus"))->interval(), 3500);
}

TEST_F(Window, StartsOnTheLoginPageOfASkinnedTranslucentWindow)
{
    Start();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), QSize(302, 464));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(VisiblePage(), 5);
    EXPECT_EQ(window->currentPage, 5);
    EXPECT_EQ(window->lblPage->text(), QStringLiteral("Giriş"));
    EXPECT_EQ(window->lblSelect->text(), QStringLiteral("Giriş"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Talvinor SMS İstemcisi"));
    EXPECT_EQ(window->picPage.value(5)->pos(), QPoint(24, 91));
    EXPECT_EQ(window->focusWidget(), Find<QLineEdit>(QStringLiteral("txtUsername")));
    EXPECT_TRUE(window->picAlert->isHidden());
    EXPECT_TRUE(ErrorBoxes().isEmpty()) << ErrorBoxes().join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(QFile::exists(ErrorLogPath()));

    // The shape leaves out exactly the key-coloured pixels of the skin.
    const QImage skin = window->skin().convertToFormat(QImage::Format_RGB32);
    const QRegion shape = window->mask();
    for (const QPoint &p : {QPoint(0, 0), QPoint(301, 0), QPoint(0, 463), QPoint(301, 463), QPoint(150, 0), QPoint(150, 232), QPoint(3, 230)}) {
        SCOPED_TRACE(QStringLiteral("%1,%2").arg(p.x()).arg(p.y()).toStdString());
        EXPECT_EQ(shape.contains(p), skin.pixel(p) != qRgb(255, 0, 255));
    }
    EXPECT_FALSE(shape.contains(QPoint(0, 0)));
    EXPECT_TRUE(shape.contains(QPoint(150, 232)));
}

TEST_F(Window, AlphaSetsTheWindowsOpacity)
{
    for (auto [value, opacity] : {std::pair{"255", 1.0}, std::pair{"200", 200 / 255.0}}) {
        WriteSettings(QByteArray("Alpha=") + value + "\r\n");
        Start();
        EXPECT_NEAR(window->windowOpacity(), opacity, 0.005) << value;
    }
}

TEST_F(Window, PagesAndTheAlertBoxAreFilledWithTheWindowHighGradient)
{
    const QImage gradient = PageGradient(QSize(302, 464));
    for (int x : {0, 151, 301}) {
        EXPECT_EQ(gradient.pixel(x, 0), qRgb(255, 255, 255));
        EXPECT_EQ(gradient.pixel(x, 463), qRgb(160, 160, 240));
    }
    EXPECT_EQ(gradient.pixel(0, 231), qRgb(208, 208, 248));
    Start();
    // A box shows the upper part of the window-high gradient: its top row is
    // white and its bottom row not yet the bottom colour.
    const QImage page = window->picPage.value(0)->grab().toImage();
    EXPECT_EQ(page.pixel(page.width() - 2, 0), qRgb(255, 255, 255));
    EXPECT_EQ(page.pixel(page.width() - 2, page.height() - 1), gradient.pixel(0, page.height() - 1));
    EXPECT_TRUE(window->picAlert->autoFillBackground());
}

TEST_F(Window, PagesBehindTheLoginGateSendTheUserToTheLoginPage)
{
    Start();
    struct Case {
        int page;
        int shown;
        bool alert;
    } cases[] = {{0, 0, false}, {4, 4, false}, {5, 5, false}, {1, 5, true}, {2, 5, true}, {3, 5, true}, {7, 5, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.page);
        window->HideAlert();
        window->ShowPage(c.page);
        EXPECT_EQ(window->currentPage, c.shown);
        EXPECT_EQ(VisiblePage(), c.shown);
        EXPECT_EQ(window->lblPage->text(), window->pageNames.value(c.shown));
        EXPECT_EQ(!window->picAlert->isHidden(), c.alert);
        if (c.alert) {
            EXPECT_EQ(window->lblAlert->text(), QStringLiteral("Lütfen önce giriş yapın."));
        }
    }
    window->connection->LoggedIn = true;
    const QMap<int, QString> captions{{0, QString()}, {1, QStringLiteral("Gönder")}, {2, QString()}, {3, QString()},
                                      {4, QStringLiteral("Kaydet")}, {5, QStringLiteral("Giriş")}, {7, QStringLiteral("Seç")}};
    for (int page : frmMain::Pages) {
        SCOPED_TRACE(page);
        window->ShowPage(page);
        EXPECT_EQ(VisiblePage(), page);
        EXPECT_EQ(window->lblSelect->text(), captions.value(page));
        EXPECT_EQ(window->picPage.value(page)->pos(), QPoint(24, 91));
    }
    EXPECT_TRUE(ErrorBoxes().isEmpty());
}

TEST_F(Window, APageWithoutABoxIsRefusedAndReported)
{
    Start();
    window->ShowPage(4);
    for (int page : {6, 8, -1}) {
        SCOPED_TRACE(page);
        window->ShowPage(page);
        EXPECT_EQ(window->currentPage, 4);
        EXPECT_EQ(VisiblePage(), 4);
    }
    const QStringList errors = ErrorBoxes();
    ASSERT_EQ(errors.size(), 3);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("frmMain : ShowPage"))) << errors[0].toStdString();
    QFile log(ErrorLogPath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("Error occured in: frmMain-->ShowPage"));
}

TEST_F(Window, AnAlertLastsOneFullIntervalAndASecondOneStartsItAgain)
{
    Start();
    QSignalSpy ticks(window->tmrStatus, &QTimer::timeout);
    window->ShowAlert(QStringLiteral("first"));
    EXPECT_FALSE(window->picAlert->isHidden());
    // A second of the interval gone, by the timer's own count.
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->tmrStatus->remainingTime() <= 2500; }, 20000));
    ASSERT_EQ(ticks.count(), 0);
    QElapsedTimer second;
    second.start();
    window->ShowAlert(QStringLiteral("second"));
    EXPECT_EQ(window->lblAlert->text(), QStringLiteral("second"));
    ASSERT_TRUE(ticks.wait(20000));
    // A busy machine may tick late, never early.
    EXPECT_GE(second.elapsed(), 3495);
    EXPECT_TRUE(window->picAlert->isHidden());
}

TEST_F(Window, AClickOnTheAlertOrItsTextHidesIt)
{
    Start();
    for (QWidget *target : {static_cast<QWidget *>(window->picAlert), static_cast<QWidget *>(window->lblAlert)}) {
        window->ShowAlert(QStringLiteral("x"));
        QTest::mouseClick(target, Qt::LeftButton);
        EXPECT_TRUE(window->picAlert->isHidden());
    }
}

TEST_F(Window, WithAnAlertUpAnActionButtonOnlyClosesIt)
{
    Start();
    window->ShowPage(4);
    window->ShowAlert(QStringLiteral("x"));
    QTest::mouseClick(window->imgButton[2], Qt::LeftButton);
    EXPECT_TRUE(window->picAlert->isHidden());
    EXPECT_EQ(window->currentPage, 4);
    QTest::mouseClick(window->imgButton[2], Qt::LeftButton);
    EXPECT_EQ(window->currentPage, 0);
}

TEST_F(Window, ActionButtonsAndTheirCaptionsActByPage)
{
    Start();
    // Before login: back on the login page does nothing, home still goes home.
    QTest::mouseClick(window->lblBack, Qt::LeftButton);
    EXPECT_EQ(window->currentPage, 5);
    QTest::mouseClick(window->lblHome, Qt::LeftButton);
    EXPECT_EQ(window->currentPage, 0);
    QTest::mouseClick(window->imgButton[3], Qt::LeftButton);
    EXPECT_EQ(window->currentPage, 0);

    window->connection->LoggedIn = true;
    struct Case {
        int page;
        int afterBack;
    } cases[] = {{1, 0}, {4, 0}, {5, 0}, {7, 1}, {2, 0}, {3, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.page);
        window->ShowPage(c.page);
        QTest::mouseClick(window->imgButton[3], Qt::LeftButton);
        EXPECT_EQ(window->currentPage, c.afterBack);
    }
    // An opened message: back shows the list again, a second back goes home.
    for (auto [page, list, text] : {std::tuple{2, "lvInbox", "txtIncomingSMS"}, std::tuple{3, "lvSent", "txtSentItem"}}) {
        SCOPED_TRACE(page);
        window->ShowPage(page);
        Find(QLatin1String(list))->hide();
        Find(QLatin1String(text))->show();
        QTest::mouseClick(window->lblBack, Qt::LeftButton);
        EXPECT_EQ(window->currentPage, page);
        EXPECT_FALSE(Find(QLatin1String(list))->isHidden());
        EXPECT_TRUE(Find(QLatin1String(text))->isHidden());
        QTest::mouseClick(window->lblBack, Qt::LeftButton);
        EXPECT_EQ(window->currentPage, 0);
    }
    // The phone book's action goes back to the new message.
    window->ShowPage(7);
    QTest::mouseClick(window->lblSelect, Qt::LeftButton);
    EXPECT_EQ(window->currentPage, 1);
    // On the menu the page action does nothing.
    window->ShowPage(0);
    QTest::mouseClick(window->imgButton[1], Qt::LeftButton);
    EXPECT_EQ(window->currentPage, 0);
    EXPECT_TRUE(window->picAlert->isHidden());
}

TEST_F(Window, ButtonPicturesFollowThePointerAndThePressedOneStays)
{
    Start();
    // Normal pictures: page action 3, home 0, back 6.
    EXPECT_TRUE(Shows(window->imgButton[1], 3));
    EXPECT_TRUE(Shows(window->imgButton[2], 0));
    EXPECT_TRUE(Shows(window->imgButton[3], 6));
    MoveOver(window->imgButton[2]);
    EXPECT_TRUE(Shows(window->imgButton[2], 1));
    EXPECT_EQ(window->hoveredButton, 2);
    MoveOver(window->lblSelect);
    EXPECT_TRUE(Shows(window->imgButton[2], 0));
    EXPECT_TRUE(Shows(window->imgButton[1], 4));
    EXPECT_EQ(window->hoveredButton, 1);

    SendMouse(window->imgButton[3], QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(Shows(window->imgButton[3], 8));
    EXPECT_TRUE(Shows(window->imgButton[1], 3));
    SendMouse(window->imgButton[3], QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(Shows(window->imgButton[3], 8)) << "no release handling";
    MoveOver(window->imgButton[3]);
    EXPECT_TRUE(Shows(window->imgButton[3], 7));

    // Over the window's own surface every button is normal again.
    const QPoint surface(150, 395);
    ASSERT_EQ(window->childAt(surface), nullptr);
    QMouseEvent move(QEvent::MouseMove, QPointF(surface), window->mapToGlobal(QPointF(surface)), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &move);
    for (int i = 1; i <= 3; ++i)
        EXPECT_TRUE(Shows(window->imgButton[i], i == 1 ? 3 : i == 2 ? 0 : 6)) << i;
    EXPECT_EQ(window->hoveredButton, 0);

    struct Case {
        QLabel *button;
        int normal;
        int over;
    } windowButtons[] = {{window->imgCloseButton, 13, 14}, {window->imgMinimizeButton, 15, 16}};
    for (const Case &c : windowButtons) {
        EXPECT_TRUE(Shows(c.button, c.normal));
        MoveOver(c.button);
        EXPECT_TRUE(Shows(c.button, c.over));
        SendMouse(c.button, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
        EXPECT_TRUE(Shows(c.button, c.normal));
    }
}

TEST_F(Window, TheMenuOpensItsPagesAndItsMarkerFollowsThePointer)
{
    Start();
    window->ShowPage(0);
    QLabel *marker = Find<QLabel>(QStringLiteral("lblSelection"));
    EXPECT_EQ(marker->y(), -marker->height());
    MoveOver(Find(QStringLiteral("lblMenu(3)")));
    EXPECT_EQ(marker->y(), Find(QStringLiteral("lblMenu(3)"))->y() - 5);
    MoveOver(Find(QStringLiteral("imgIcon(2)")));
    EXPECT_EQ(marker->y(), Find(QStringLiteral("lblMenu(2)"))->y() - 5);

    window->ShowAlert(QStringLiteral("x"));
    QTest::mouseClick(Find(QStringLiteral("lblMenu(4)")), Qt::LeftButton);
    EXPECT_EQ(window->currentPage, 4);
    EXPECT_TRUE(window->picAlert->isHidden());
    window->ShowPage(0);
    QTest::mouseClick(Find(QStringLiteral("imgIcon(2)")), Qt::LeftButton);
    EXPECT_EQ(window->currentPage, 5) << "the inbox waits for a login";
    EXPECT_FALSE(window->picAlert->isHidden());
    window->connection->LoggedIn = true;
    window->ShowPage(0);
    QTest::mouseClick(Find(QStringLiteral("lblMenu(1)")), Qt::LeftButton);
    EXPECT_EQ(window->currentPage, 1);
}

TEST_F(Window, TheStatusTickShowsTheClockTheLoginAndABlinkingNewMessage)
{
    Start();
    window->ShowAlert(QStringLiteral("x"));
    window->tmrStatus_Timer();
    EXPECT_TRUE(window->picAlert->isHidden());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^([01][0-9]|2[0-3]):[0-5][0-9]$")).match(window->lblDate->text()).hasMatch())
        << window->lblDate->text().toStdString();
    EXPECT_TRUE(Shows(window->imgLoggedIn, 10));
    EXPECT_TRUE(window->imgNewMsg->pixmap().isNull());

    window->connection->LoggedIn = true;
    window->tmrStatus_Timer();
    EXPECT_TRUE(Shows(window->imgLoggedIn, 11));
    EXPECT_TRUE(window->imgNewMsg->pixmap().isNull());
    window->store.UnreadCount = 2;
    for (bool on : {true, false, true}) {
        window->tmrStatus_Timer();
        EXPECT_EQ(Shows(window->imgNewMsg, 12), on);
        EXPECT_EQ(window->imgNewMsg->pixmap().isNull(), !on);
    }
    window->store.UnreadCount = 0;
    window->tmrStatus_Timer();
    EXPECT_TRUE(window->imgNewMsg->pixmap().isNull());
    window->connection->LoggedIn = false;
    window->store.UnreadCount = 3;
    window->tmrStatus_Timer();
    EXPECT_TRUE(Shows(window->imgLoggedIn, 10));
    EXPECT_TRUE(window->imgNewMsg->pixmap().isNull());
}

TEST_F(Window, TheTrayIconCarriesTheStartUpTitleAndALeftClickBringsTheWindowBack)
{
    EXPECT_EQ(TrayTip(QString(70, QLatin1Char('a'))), QString(63, QLatin1Char('a')));
    EXPECT_EQ(TrayTip(QStringLiteral("Talvinor SMS İstemcisi")), QStringLiteral("Talvinor SMS İstemcisi"));
    EXPECT_EQ(TrayTip(QStringLiteral("Ω SMS")), QStringLiteral("? SMS"));

    Start();
    ASSERT_NE(window->trayIcon, nullptr);
    EXPECT_TRUE(window->trayIcon->isVisible());
    EXPECT_EQ(window->trayIcon->toolTip(), QStringLiteral("Talvinor SMS İstemcisi"));
    window->hide();
    window->TrayIcon_Activated(QSystemTrayIcon::Context);
    window->TrayIcon_Activated(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(window->isVisible());
    window->TrayIcon_Activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
}

TEST_F(Window, EscAndTheMinimizeButtonMinimizeWithoutLosingTheWindow)
{
    Start();
    // Without a notification area the window is minimized, not hidden: it
    // could not come back from a tray that is not there.
    const bool tray = QSystemTrayIcon::isSystemTrayAvailable();
    QTest::keyClick(Find(QStringLiteral("txtUsername")), Qt::Key_Escape);
    EXPECT_TRUE(window->isMinimized());
    EXPECT_EQ(window->isVisible(), !tray);
    window->TrayIcon_Activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    QTest::mouseClick(window->imgMinimizeButton, Qt::LeftButton);
    EXPECT_TRUE(window->isMinimized());
}

TEST_F(Window, TheCloseButtonUnloadsTheWindowAndRemovesTheTrayIcon)
{
    Start();
    QSignalSpy unloaded(window.get(), &frmMain::unloaded);
    QTest::mouseClick(window->imgCloseButton, Qt::LeftButton);
    EXPECT_EQ(unloaded.count(), 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->trayIcon->isVisible());
    EXPECT_FALSE(Read(QStringLiteral("TalvinorSMSClient.ini")).contains("Password")) << "nothing is saved on the way out";
}

TEST_F(Window, ThePressOfTheLeftButtonOnTheBodyDragsButNotOnAPage)
{
    Start();
    QSignalSpy drags(window.get(), &gui::SkinnedWindow::dragStarted);
    const QPoint body(150, 395);
    ASSERT_EQ(window->childAt(body), nullptr);
    QTest::mousePress(window.get(), Qt::LeftButton, Qt::NoModifier, body);
    QTest::mouseRelease(window.get(), Qt::LeftButton, Qt::NoModifier, body);
    EXPECT_EQ(drags.count(), 1);
    QTest::mousePress(window->picPage.value(5), Qt::LeftButton, Qt::NoModifier, QPoint(120, 250));
    QTest::mouseRelease(window->picPage.value(5), Qt::LeftButton, Qt::NoModifier, QPoint(120, 250));
    QTest::mouseClick(window->imgButton[2], Qt::LeftButton);
    EXPECT_EQ(drags.count(), 1);
}

TEST_F(Window, AStoreFolderThatCannotBeMadeIsReportedAndTheStartGoesOn)
{
    Write(QStringLiteral("users"), "not a folder");
    Start();
    const QStringList errors = ErrorBoxes();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("Form_Initialize"))) << errors[0].toStdString();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(VisiblePage(), 5);
}
