#pragma once

// The page boxes of the client window, one class per page. Each holds the
// controls of its page under their designed names, puts its language texts
// on them and handles their events; the window places the boxes, switches
// between them and lends them its alert and its page switch.
#include "clientstore/messagestore.h"
#include "imagebutton.h"

#include <QStringList>
#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTreeWidget;
class HeaderTextEdit;

class ucUFList;
class frmMain;
namespace gui { class ARButton; }

// Inner size of every page box.
inline constexpr QSize PageSize(254, 290);

// The font of the date column of the message lists.
QFont MessageDateFont(const QFont &listFont);

// Page 0: the menu. Entry i (1 to 5) opens page i.
class PageMenu : public QWidget {
    Q_OBJECT
public:
    explicit PageMenu(frmMain &owner);

    static constexpr int EntryCount = 5;

    void SetLanguage();
    // The marker out of sight above the top edge, the entries without border.
    void PrepareMenu();
    void lblMenu_Click(int index);

    // Indexed 1 to 5; element 0 is unused.
    std::array<ImageButton *, EntryCount + 1> lblMenu{};
    std::array<ImageButton *, EntryCount + 1> imgIcon{};
    QLabel *lblSelection;

private:
    void lblMenu_MouseMove(int index);

    frmMain &m_owner;
};

// Page 1: a new message.
class PageNewSMS : public QWidget {
    Q_OBJECT
public:
    explicit PageNewSMS(frmMain &owner);

    void SetLanguage();
    // Empties the message box and puts the user's header in.
    void PrepareNewSMSMessage();
    void txtMessage_Change();
    // Whether a key typed into the number box may act.
    bool txtPhoneNumber_KeyPress(const QKeyEvent &event) const;
    void uflContacts_Changed();
    // The send action. Raises platform::Error when the request cannot
    // leave (no connection, too much data); nothing is kept then.
    void SendSMS();
    // The login's answer on whether the user may type numbers.
    void AllowFreeNumbers(bool allowed);

    std::array<QLabel *, 2> lblNewSMS{};
    QLineEdit *txtPhoneNumber;
    gui::ARButton *imgPhonebookButton;
    ucUFList *uflContacts;
    HeaderTextEdit *txtMessage;
    QLabel *lblFreeCharacters;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    frmMain &m_owner;
};

// Page 2: the inbox, a list or one opened message.
class PageInbox : public QWidget {
    Q_OBJECT
public:
    explicit PageInbox(frmMain &owner);

    void SetLanguage();
    // The page set-up: the list shown and filled.
    void ShowList();
    void RefreshIncomingSMSList();
    // A message the service pushed: kept, listed, heard and told.
    void NewSMSArrived(const QString &data);
    void lvInbox_DblClick();
    // Delete asks, then deletes the selected message.
    void lvInbox_KeyDown(int keyCode);

    QLabel *lblIncomingSMS;
    QTreeWidget *lvInbox;
    QPlainTextEdit *txtIncomingSMS;

private:
    frmMain &m_owner;
};

// Page 3: the sent items, a list or one opened message.
class PageSent : public QWidget {
    Q_OBJECT
public:
    explicit PageSent(frmMain &owner);

    void SetLanguage();
    // The page set-up: the list shown, and filled when the sent folder
    // holds a file.
    void ShowList();
    void LoadSMS();
    void lvSent_DblClick();
    void lvSent_KeyDown(int keyCode);

    QLabel *lblSentItems;
    QTreeWidget *lvSent;
    QPlainTextEdit *txtSentItem;

private:
    frmMain &m_owner;
};

// Page 4: the settings.
class PageSettings : public QWidget {
    Q_OBJECT
public:
    explicit PageSettings(frmMain &owner);

    void SetLanguage();
    // Fills the language list and the sound choice.
    void InitSettings();
    // The page set-up: the server host and port.
    void ShowSettings();
    // The save action.
    void SaveSettingsPage();

    // server host, port, language, sound
    std::array<QLabel *, 4> lblConfig{};
    QLineEdit *txtServerIP;
    QLineEdit *txtServerPort;
    QComboBox *cboLanguage;
    QComboBox *cboSound;
    // Codes of the entries of cboLanguage, in their order.
    QStringList languageCodes;

private:
    frmMain &m_owner;
};

// Page 5: the login.
class PageLogin : public QWidget {
    Q_OBJECT
public:
    explicit PageLogin(frmMain &owner);

    void SetLanguage();
    // The page set-up: the last user name, and the saved password.
    void ShowLogin();
    // The login action.
    void Login();

    // user name, password
    std::array<QLabel *, 2> lblLogin{};
    QLineEdit *txtUsername;
    QLineEdit *txtPassword;
    QCheckBox *chkSavePassword;

private:
    frmMain &m_owner;
};

// Page 7: the phone book.
class PagePhonebook : public QWidget {
    Q_OBJECT
public:
    explicit PagePhonebook(frmMain &owner);

    void SetLanguage();
    void imgPhonebookSearchButton_Click();
    void ShowPhonebookResult(const QString &data);
    void lblPhonebookSelectAll_Click();
    void lblPhonebookClearAll_Click();
    void lblPhonebookToggle_Click();
    // Copies the ticked rows to the compose page's recipients. Raises
    // platform::Error for a row whose ID or kind is no number.
    void CopyToRecipients();

    QLineEdit *txtPhonebookSearch;
    gui::ARButton *imgPhonebookSearchButton;
    // Columns: name, phone number, ID, kind (the last two hidden).
    QTreeWidget *lsvPhonebook;
    ImageButton *lblPhonebookSelectAll;
    ImageButton *lblPhonebookClearAll;
    ImageButton *lblPhonebookToggle;

private:
    frmMain &m_owner;
};
