#pragma once

#include "consolestate.h"
#include "gui/skinnedwindow.h"

#include <array>

class QLabel;
class QPushButton;
class QWidget;
class UsersTab;
class PhonebookTab;
class GroupsTab;
class BulkTab;
class SettingsTab;
namespace gui { class ARButton; }

// The console's one window: a skinned frameless window with a row of five
// tab buttons over five pages (users, phone book, groups, bulk messages,
// settings).
class frmMain : public gui::SkinnedWindow {
    Q_OBJECT
public:
    static constexpr int TabCount = 5;

    // The window works on the program folder `programFolder`: its settings
    // files, databases, lang/ and Unsent/.
    explicit frmMain(const QString &programFolder, QWidget *parent = nullptr);
    ~frmMain() override;

    // Reads the settings, loads the language, opens both databases, fills
    // the tabs and shows the window on the users tab. False, after the
    // failure has been reported, when the console cannot work; the window
    // is then not shown.
    bool Form_Load();
    // Closes the databases; runs once, when the window closes.
    void Form_Unload();

    // Puts the language texts on every control.
    void SetLanguage();
    // Applies the opacity windowAlpha.
    void SetWindowAttributes();
    void optTab_Click(int index);
    void Form_KeyDown(int keyCode);
    void btnMinimize_Click();
    void btnQuit_Click();

    ConsoleState &state() { return m_state; }

    QLabel *lblCaption;
    gui::ARButton *btnMinimize;
    gui::ARButton *btnQuit;
    std::array<QPushButton *, TabCount> optTab{};
    std::array<QWidget *, TabCount> frmTabs{};
    QWidget *picFocus;

    UsersTab *users;
    PhonebookTab *phonebook;
    GroupsTab *groups;
    BulkTab *bulk;
    SettingsTab *settings;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ReadSettings();
    void OpenConnections();

    ConsoleState m_state;
    QString m_applicationName;
    QString m_phonebookName;
    bool m_unloaded = false;
};
