#include "frmmain.h"

#include "tabbulk.h"
#include "tabgroups.h"
#include "tabphonebook.h"
#include "tabsettings.h"
#include "tabusers.h"
#include "contactlists.h"
#include "controls.h"
#include "timeinterval.h"

#include "common/errorlog.h"
#include "common/language.h"
#include "gui/arbutton.h"
#include "platform/convert.h"
#include "platform/error.h"
#include "store/databasefiles.h"
#include "store/servicesettings.h"
#include "vorbex/modpdu.h"

#include <QAtomicInt>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimeEdit>
#include <QTreeWidget>

namespace {

constexpr int ErrTypeMismatch = 13;
constexpr int KeyEscape = 27;

const QColor TabButtonColour(168, 180, 185);
const QColor PageColour(87, 101, 108);

QString NextConnectionName(const char *database)
{
    static QAtomicInt counter;
    return QStringLiteral("TalvinorSMSServer.%1.%2").arg(QLatin1String(database)).arg(counter.fetchAndAddRelaxed(1));
}

// The kinds of text that SetLanguage puts on the controls.
void Caption(QWidget *control, const char *key)
{
    const QString text = common::LanguageText(QLatin1String(key));
    if (auto *label = qobject_cast<QLabel *>(control))
        label->setText(text);
    else if (auto *button = qobject_cast<QAbstractButton *>(control))
        button->setText(text);
    else if (auto *frame = qobject_cast<QGroupBox *>(control))
        frame->setTitle(text);
}

void LabelWithColon(QLabel *label, const char *key)
{
    label->setText(common::LanguageText(QLatin1String(key)) + QStringLiteral(" :"));
}

void Button(gui::ARButton *button, const char *key)
{
    const QString text = common::LanguageText(QLatin1String(key));
    button->setCaption(text);
    button->setToolTip(text);
}

void ColumnHeaders(QTreeView *list, std::initializer_list<const char *> keys)
{
    int column = 0;
    for (const char *key : keys)
        list->model()->setHeaderData(column++, Qt::Horizontal, common::LanguageText(QLatin1String(key)));
    SizeNumberListColumns(list);
}

void SelectorRows(QComboBox *selector, std::initializer_list<const char *> keys)
{
    int row = 0;
    for (const char *key : keys)
        selector->setItemText(row++, common::LanguageText(QLatin1String(key)));
}

void Colour(QWidget *control, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = control->palette();
    palette.setColor(role, colour);
    control->setPalette(palette);
}

} // namespace

frmMain::frmMain(const QString &programFolder, QWidget *parent)
    : gui::SkinnedWindow(parent),
      m_applicationName(NextConnectionName("application")),
      m_phonebookName(NextConnectionName("phonebook"))
{
    setObjectName(QStringLiteral("frmMain"));
    m_state.programFolder = programFolder;
    setSkin(QImage(QStringLiteral(":/skins/console.png")));

    lblCaption = Place<QLabel>(this, "lblCaption", 92, 4, 467, 17);
    Colour(lblCaption, QPalette::WindowText, Qt::white);
    QFont captionFont = lblCaption->font();
    captionFont.setBold(true);
    lblCaption->setFont(captionFont);
    addDragHandle(lblCaption);

    btnMinimize = Place<gui::ARButton>(this, "btnMinimize", 557, 30, 23, 23);
    btnMinimize->setPicture(QPixmap(QStringLiteral(":/skins/minimize.png")));
    btnQuit = Place<gui::ARButton>(this, "btnQuit", 585, 30, 23, 23);
    btnQuit->setPicture(QPixmap(QStringLiteral(":/skins/quit.png")));

    users = new UsersTab(*this);
    phonebook = new PhonebookTab(*this);
    groups = new GroupsTab(*this);
    bulk = new BulkTab(*this);
    settings = new SettingsTab(*this);
    frmTabs = {users, phonebook, groups, bulk, settings};
    for (int i = 0; i < TabCount; ++i) {
        optTab[i] = Place<QPushButton>(this, "", 46 + 77 * i, 38, 77, 19);
        optTab[i]->setObjectName(QStringLiteral("optTab(%1)").arg(i));
        optTab[i]->setFocusPolicy(Qt::NoFocus);
        QFont tabFont = optTab[i]->font();
        tabFont.setPointSizeF(tabFont.pointSizeF() * 0.9);
        optTab[i]->setFont(tabFont);
        optTab[i]->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: black; border: 1px solid rgb(40, 50, 56); }")
                                     .arg(TabButtonColour.name()));
        connect(optTab[i], &QPushButton::clicked, this, [this, i] { optTab_Click(i); });

        QWidget *page = frmTabs[i];
        page->setObjectName(QStringLiteral("frmTabs(%1)").arg(i));
        page->setGeometry(46, 58, 561, 297);
        page->setAutoFillBackground(true);
        Colour(page, QPalette::Window, PageColour);
        Colour(page, QPalette::WindowText, Qt::white);
        addDragHandle(page, true);
    }

    picFocus = Place<QWidget>(this, "picFocus", 8, 406, 35, 23);
    picFocus->setFocusPolicy(Qt::StrongFocus);

    connect(btnMinimize, &gui::ARButton::clicked, this, &frmMain::btnMinimize_Click);
    connect(btnQuit, &gui::ARButton::clicked, this, &frmMain::btnQuit_Click);
    // Esc minimizes whichever control has the focus.
    qApp->installEventFilter(this);
}

frmMain::~frmMain()
{
    Form_Unload();
}

bool frmMain::Form_Load()
{
    const QDir folder(m_state.programFolder);
    m_state.iniConsole.setIniPath(folder.filePath(QStringLiteral("TalvinorSMSServer.ini")));
    common::languageCode = m_state.iniConsole.ReadValue(QStringLiteral("SMSServer"), QStringLiteral("Language"), QStringLiteral("tr"));
    m_state.windowAlpha = platform::Alpha(m_state.iniConsole.ReadValue(QStringLiteral("SMSServer"), QStringLiteral("Alpha"), QStringLiteral("230")));
    settings->cmbWindowTransparency->setCurrentIndex(TransparencyRow(m_state.windowAlpha));

    m_state.iniService.setIniPath(folder.filePath(QLatin1String(ServiceSettingsFileName)));
    const QString interval = m_state.iniService.ReadValue(QLatin1String(ServiceSettingsSection), QLatin1String(SendingWindowKey),
                                                          QLatin1String(SendingWindowDefault));
    QTime start(0, 0);
    QTime end(23, 59);
    // A value the console cannot read must not keep the one program that
    // can mend it from starting: the service sends at any time on such a
    // value, and so do the pickers' whole-day defaults.
    try {
        if (!ReadTimeInterval(interval, start, end))
            throw platform::Error(ErrTypeMismatch,
                                  QStringLiteral("allowed_time_interval in %1 is not two times of day joined by \",\": \"%2\"; "
                                                 "the settings tab shows 00:00 to 23:59")
                                      .arg(m_state.iniService.IniPath(), interval));
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("Form_Load"));
    }
    settings->dtpStartTime->setTime(start);
    settings->dtpEndTime->setTime(end);

    common::languageFolder = folder.filePath(QStringLiteral("lang"));
    common::ReadUnicodeLang();
    SetLanguage();

    try {
        OpenConnections();
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("Form_Load"));
        return false;
    }
    modPDU::InitGsmAlphabet();
    // A tab that cannot be filled stops the start-up as a database that
    // cannot be opened does: an empty tab would pass for an empty table.
    if (!groups->RemoveOrphanedLinks() || !users->InitUsers() || !phonebook->InitPhonebook() || !groups->InitGroups())
        return false;
    settings->InitSettings();
    SetWindowAttributes();
    show();
    optTab_Click(0);
    bulk->txtSMSMessage_Change();
    return true;
}

void frmMain::OpenConnections()
{
    const QDir db(QDir(m_state.programFolder).filePath(QStringLiteral("db")));
    m_state.connApplication = OpenDatabaseFile(m_applicationName, db.filePath(QStringLiteral("application.db")));
    m_state.connPhonebook = OpenDatabaseFile(m_phonebookName, db.filePath(QStringLiteral("phonebook.db")));
}

void frmMain::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    CloseDatabaseFile(m_state.connApplication, m_applicationName);
    CloseDatabaseFile(m_state.connPhonebook, m_phonebookName);
}

void frmMain::SetLanguage()
{
    setWindowTitle(common::LanguageText(QStringLiteral("talvinor_sms_server")));
    Caption(lblCaption, "talvinor_sms_server");
    const char *tabKeys[TabCount] = {"users", "phonebook", "groups", "bulk_sms", "settings"};
    for (int i = 0; i < TabCount; ++i)
        Caption(optTab[i], tabKeys[i]);
    Button(btnMinimize, "minimize");
    Button(btnQuit, "quit");

    LabelWithColon(users->lblUserName, "username");
    LabelWithColon(users->lblUserPassword, "password");
    LabelWithColon(users->lblUserFirstName, "firstname");
    LabelWithColon(users->lblUserLastName, "lastname");
    Caption(users->chkUserModeratorAccess, "moderator_access");
    Caption(users->chkUserManualNumberPermission, "manual_number_entry_permission");
    Caption(users->lblUsers, "users");
    Button(users->btnAddUser, "add_user");
    Button(users->btnEditUser, "edit_user");
    Button(users->btnDeleteUser, "delete_user");
    Button(users->btnClearFormUser, "clear_form");

    LabelWithColon(phonebook->lblFirstName, "firstname");
    LabelWithColon(phonebook->lblLastName, "lastname");
    LabelWithColon(phonebook->lblCompany, "company");
    LabelWithColon(phonebook->lblPhonenumber, "phonenumber");
    Button(phonebook->btnAddPhonenumber, "add_phonenumber");
    Button(phonebook->btnEditPhonenumber, "edit_phonenumber");
    Button(phonebook->btnDeletePhonenumber, "delete_phonenumber");
    Button(phonebook->btnClearFormPhonenumber, "clear_form");
    ColumnHeaders(phonebook->lsvPhonenumber, {"name", "lastname", "company", "phonenumber"});

    LabelWithColon(groups->lblGroupName, "group_name");
    Button(groups->btnAddGroup, "add_group");
    Button(groups->btnEditGroup, "edit_group");
    Button(groups->btnDeleteGroup, "delete_group");
    Button(groups->btnClearFormGroup, "clear_form");
    Caption(groups->lblGroups, "groups");
    Caption(groups->lblPhonenumbers, "phonenumbers");

    Button(bulk->btnImportFromExcel, "import_from_excel");
    Button(bulk->btnClearBulkSMSList, "clear_list");
    Button(bulk->btnAddNameToSMS, "add_name_to_message");
    Button(bulk->btnSendSMS, "send_sms");
    LabelWithColon(bulk->lblBulkSMSList, "bulk_sms_list");
    LabelWithColon(bulk->lblSMSMessage, "sms_message");
    LabelWithColon(settings->lblLanguage, "language");
    Button(settings->btnSettingsSave, "save");
    ColumnHeaders(bulk->lsvBulkSMSList, {"name", "phonenumber"});
    ColumnHeaders(groups->lsvGroupPhonenumbers, {"name", "lastname", "company", "phonenumber"});

    Caption(settings->lblWindowTransparency, "window_tranparency");
    SelectorRows(settings->cmbWindowTransparency, {"_none", "low", "high"});
    Caption(settings->frmInterfaceSettings, "interface_settings");
    Caption(settings->frmAllowedTimeInterval, "allowed_time_interval_for_sending_bulk_sms");
    LabelWithColon(settings->lblStartTime, "start_time");
    LabelWithColon(settings->lblEndTime, "end_time");
}

void frmMain::SetWindowAttributes()
{
    setAlpha(m_state.windowAlpha);
}

void frmMain::optTab_Click(int index)
{
    for (int j = 0; j < TabCount; ++j) {
        QFont font = optTab[j]->font();
        font.setBold(j == index);
        optTab[j]->setFont(font);
        optTab[j]->setDown(false);
        frmTabs[j]->move(46, 58);
        frmTabs[j]->setVisible(j == index);
    }
    picFocus->setFocus();
    if (index == 2)
        groups->InitGroups();
}

void frmMain::Form_KeyDown(int keyCode)
{
    if (keyCode == KeyEscape)
        showMinimized();
}

void frmMain::btnMinimize_Click()
{
    showMinimized();
}

void frmMain::btnQuit_Click()
{
    close();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->window() == this
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        Form_KeyDown(KeyEscape);
        return true;
    }
    return gui::SkinnedWindow::eventFilter(watched, event);
}
