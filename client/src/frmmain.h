#pragma once

#include "clientsettings.h"
#include "clientconnection/serviceconnection.h"
#include "clientstore/messagestore.h"
#include "gui/skinnedwindow.h"
#include "imagebutton.h"

#include <QMap>
#include <QSystemTrayIcon>
#include <array>

class QLabel;
class QTimer;

class PageMenu;
class PageNewSMS;
class PageInbox;
class PageSent;
class PageSettings;
class PageLogin;
class PagePhonebook;

// The client's one window: a skinned, partly transparent window with a
// status strip, a page title, one page box per page (0-5 and 7) of which one
// shows at a time, an alert box, three action buttons and a tray icon. The
// pages are classes of their own (pages.h); the window switches between
// them and lends them its alert.
class frmMain : public gui::SkinnedWindow {
    Q_OBJECT
public:
    // The window works in `programFolder`: its settings file, lang/,
    // users/ and sound/.
    explicit frmMain(const QString &programFolder, QWidget *parent = nullptr);
    ~frmMain() override;

    // The life of the window, in this order over a run.
    void Form_Initialize();
    void Form_Load();
    void Form_Unload();
    void Form_Terminate();

    // The language texts on the window and on every page.
    void SetLanguage();

    void ShowPage(int page);
    void ShowAlert(const QString &text);
    void HideAlert();
    void SetPageName(const QString &text);
    void FillPage(QWidget *box);
    void tmrStatus_Timer();

    void imgButton_Click(int index);
    void imgCloseButton_Click();
    void imgMinimizeButton_Click();
    void TrayIcon_Activated(QSystemTrayIcon::ActivationReason reason);

    QString programFolder() const { return m_programFolder; }
    QString settingsPath() const { return m_settingsPath; }

    ClientSettings settings;
    // The connection to the service (the socket wClient and the login
    // state) and the logged-in user's message store.
    ServiceConnection *connection;
    MessageStore store;
    int currentPage = 0;
    // The action button under the mouse (1 to 3), 0 for none.
    int hoveredButton = 0;
    QMap<int, QString> pageNames;

    static constexpr std::array<int, 7> Pages{0, 1, 2, 3, 4, 5, 7};
    QMap<int, QWidget *> picPage;
    PageMenu *pageMenu;
    PageNewSMS *pageNewSMS;
    PageInbox *pageInbox;
    PageSent *pageSent;
    PageSettings *pageSettings;
    PageLogin *pageLogin;
    PagePhonebook *pagePhonebook;

    QLabel *lblPage;
    QLabel *lblDate;
    QLabel *imgLoggedIn;
    QLabel *imgNewMsg;
    ImageButton *picAlert;
    ImageButton *lblAlert;
    // Indexed 1 to 3: page action, home, back.
    std::array<ImageButton *, 4> imgButton{};
    ImageButton *lblSelect;
    ImageButton *lblHome;
    ImageButton *lblBack;
    ImageButton *imgCloseButton;
    ImageButton *imgMinimizeButton;
    QTimer *tmrStatus;
    // The hidden picture store, pictures 0-8 and 10-16.
    QMap<int, QLabel *> imgImage;
    QSystemTrayIcon *trayIcon = nullptr;

Q_SIGNALS:
    // The window has unloaded; the program ends.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    // The connection's news: an accepted login.
    void LoginAccepted();
    void ButtonMouse(int index, Qt::MouseButtons buttons);
    void NormalPictures();
    void AddTrayIcon();
    QPixmap Picture(int number) const;

    QString m_programFolder;
    QString m_settingsPath;
    bool m_blinkPhase = false;
    bool m_unloaded = false;
};

// The tray tip for a title: the title through the ANSI code page, cut to
// the 63 characters that the notification area keeps.
QString TrayTip(const QString &title);

// The page boxes' background: a vertical gradient over `size` from white
// along the top row to RGB(160, 160, 240) along the bottom row.
QImage PageGradient(const QSize &size);
