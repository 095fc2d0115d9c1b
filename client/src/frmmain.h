#pragma once

#include "clientsettings.h"
#include "clientconnection/serviceconnection.h"
#include "clientstore/messagestore.h"
#include "gui/skinnedwindow.h"

#include <QMap>
#include <QStringList>
#include <QSystemTrayIcon>
#include <array>

class QFrame;
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
// shows at a time, an alert box, three action buttons and a tray icon.
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

    void SetLanguage();
    void InitSettings();
    // The save action of the settings page.
    void SaveSettingsPage();

    void ShowPage(int page);
    void ShowAlert(const QString &text);
    void HideAlert();
    void SetPageName(const QString &text);
    void FillPage(QWidget *box);
    void tmrStatus_Timer();

    void imgButton_Click(int index);
    void imgCloseButton_Click();
    void imgMinimizeButton_Click();
    void lblMenu_Click(int index);
    void TrayIcon_Activated(QSystemTrayIcon::ActivationReason reason);

    // The actions that the connection, compose, message store and phone-book
    // code fill in.
    void Login();
    void LoadSMS();

    // The compose page. PrepareNewSMSMessage empties the message box and
    // puts the user's header in. The send raises platform::Error when the
    // request cannot leave (no connection, too much data); nothing is kept
    // then.
    void PrepareNewSMSMessage();
    void txtMessage_Change();
    // Whether a key typed into the number box may act.
    bool txtPhoneNumber_KeyPress(const QKeyEvent &event) const;
    void uflContacts_Changed();
    void SendSMS();

    // The phone-book page. The copy raises platform::Error for a row whose
    // ID or kind is no number.
    void imgPhonebookSearchButton_Click();
    void ShowPhonebookResult(const QString &data);
    void lblPhonebookSelectAll_Click();
    void lblPhonebookClearAll_Click();
    void lblPhonebookToggle_Click();
    void CopyToRecipients();
    void lvInbox_DblClick();
    void lvSent_DblClick();

    // The connection's news: an accepted login and a pushed message.
    void LoginAccepted();
    void NewSMSArrived(const QString &data);
    void RefreshIncomingSMSList();
    // Delete on a list asks, then deletes the selected message.
    void lvInbox_KeyDown(int keyCode);
    void lvSent_KeyDown(int keyCode);

    QString programFolder() const { return m_programFolder; }
    QString settingsPath() const { return m_settingsPath; }
    // The store of one user: users/<name> in the program folder.
    QString userFolder() const;

    ClientSettings settings;
    // The connection to the service (the socket wClient and the login
    // state) and the logged-in user's message store.
    ServiceConnection *connection;
    MessageStore store;
    bool &LoggedIn;
    qint32 &UnreadCount;
    int currentPage = 0;
    int hoveredButton = 0;
    bool blinkPhase = false;
    QMap<int, QString> pageNames;
    // Codes of the entries of cboLanguage, in their order.
    QStringList languageCodes;

    static constexpr std::array<int, 7> Pages{0, 1, 2, 3, 4, 5, 7};
    QMap<int, QWidget *> picPage;
    PageMenu *pageMenu;
    PageNewSMS *pageNewSMS = nullptr;
    PageInbox *pageInbox;
    PageSent *pageSent;
    PageSettings *pageSettings;
    PageLogin *pageLogin;
    PagePhonebook *pagePhonebook = nullptr;

    QLabel *lblPage;
    QLabel *lblDate;
    QLabel *imgLoggedIn;
    QLabel *imgNewMsg;
    QFrame *picAlert;
    QLabel *lblAlert;
    // Indexed 1 to 3: page action, home, back.
    std::array<QLabel *, 4> imgButton{};
    QLabel *lblSelect;
    QLabel *lblHome;
    QLabel *lblBack;
    QLabel *imgCloseButton;
    QLabel *imgMinimizeButton;
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
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ConnectMessageHandlers();
    void ConnectComposeHandlers();
    void ConnectPhonebookHandlers();
    void SetButtonPicture(int index, int state);
    void ButtonMouse(int index, Qt::MouseButtons buttons);
    void NormalPictures();
    void AddTrayIcon();
    bool SentFolderHoldsFiles() const;
    QPixmap Picture(int number) const;

    QString m_programFolder;
    QString m_settingsPath;
    bool m_unloaded = false;
};

// The tray tip for a title: the title through the ANSI code page, cut to
// the 63 characters that the notification area keeps.
QString TrayTip(const QString &title);

// The page boxes' background: a vertical gradient over `size` from white
// along the top row to RGB(160, 160, 240) along the bottom row.
QImage PageGradient(const QSize &size);
