#pragma once

// The page boxes of the client window, one class per page. Each holds the
// controls of its page under their designed names; the window places the
// boxes and drives them.
#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTreeWidget;
class HeaderTextEdit;
class ucUFList;
namespace gui { class ARButton; }

// The font of the date column of the message lists.
QFont MessageDateFont(const QFont &listFont);

// Inner size of every page box.
inline constexpr QSize PageSize(254, 290);

// Page 0: the menu. Entry i (1 to 5) opens page i.
class PageMenu : public QWidget {
    Q_OBJECT
public:
    explicit PageMenu(QWidget *parent);

    static constexpr int EntryCount = 5;
    // Indexed 1 to 5; element 0 is unused.
    std::array<QLabel *, EntryCount + 1> lblMenu{};
    std::array<QLabel *, EntryCount + 1> imgIcon{};
    QLabel *lblSelection;
};

// Page 1: a new message.
class PageNewSMS : public QWidget {
    Q_OBJECT
public:
    explicit PageNewSMS(QWidget *parent);

    std::array<QLabel *, 2> lblNewSMS{};
    QLineEdit *txtPhoneNumber;
    gui::ARButton *imgPhonebookButton;
    ucUFList *uflContacts;
    HeaderTextEdit *txtMessage;
    QLabel *lblFreeCharacters;
};

// Page 2: the inbox, a list or one opened message.
class PageInbox : public QWidget {
    Q_OBJECT
public:
    explicit PageInbox(QWidget *parent);

    QLabel *lblIncomingSMS;
    QTreeWidget *lvInbox;
    QPlainTextEdit *txtIncomingSMS;
};

// Page 3: the sent items, a list or one opened message.
class PageSent : public QWidget {
    Q_OBJECT
public:
    explicit PageSent(QWidget *parent);

    QLabel *lblSentItems;
    QTreeWidget *lvSent;
    QPlainTextEdit *txtSentItem;
};

// Page 4: the settings.
class PageSettings : public QWidget {
    Q_OBJECT
public:
    explicit PageSettings(QWidget *parent);

    // server host, port, language, sound
    std::array<QLabel *, 4> lblConfig{};
    QLineEdit *txtServerIP;
    QLineEdit *txtServerPort;
    QComboBox *cboLanguage;
    QComboBox *cboSound;
};

// Page 5: the login.
class PageLogin : public QWidget {
    Q_OBJECT
public:
    explicit PageLogin(QWidget *parent);

    // user name, password
    std::array<QLabel *, 2> lblLogin{};
    QLineEdit *txtUsername;
    QLineEdit *txtPassword;
    QCheckBox *chkSavePassword;
};

// Page 7: the phone book.
class PagePhonebook : public QWidget {
    Q_OBJECT
public:
    explicit PagePhonebook(QWidget *parent);

    QLineEdit *txtPhonebookSearch;
    gui::ARButton *imgPhonebookSearchButton;
    // Columns: name, phone number, ID, kind (the last two hidden).
    QTreeWidget *lsvPhonebook;
    QLabel *lblPhonebookSelectAll;
    QLabel *lblPhonebookClearAll;
    QLabel *lblPhonebookToggle;
};
