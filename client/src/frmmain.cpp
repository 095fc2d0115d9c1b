#include "frmmain.h"

#include "pages.h"
#include "uflist.h"

#include "clientsound/mdlsound.h"
#include "common/errorlog.h"
#include "common/language.h"
#include "gui/arbutton.h"
#include "gui/place.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/inifile.h"
#include "vorbex/modpdu.h"


#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTime>
#include <QTimer>
#include <QTreeWidget>

using gui::Place;

namespace {

constexpr int ErrPathFileAccess = 75;
constexpr int StatusInterval = 3500;
const QPoint PageOrigin(24, 91);

// Picture store numbers of the action buttons' normal pictures; the
// mouse-over and pressed pictures follow.
constexpr int ButtonPictures[4] = {0, 3, 0, 6};
enum ButtonState { Normal = 0, Over = 1, Pressed = 2 };

QString Text(const char *key)
{
    return common::LanguageText(QLatin1String(key));
}

void Report(const char *procedure)
{
    common::LogError(QStringLiteral("frmMain"), QLatin1String(procedure));
}

QLabel *PlaceCaption(QWidget *parent, const QString &name, const QRect &place)
{
    auto *label = Place<QLabel>(parent, name, place.x(), place.y(), place.width(), place.height());
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

void SetTextColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

bool IsLeftClick(QEvent *event, QWidget *control)
{
    if (event->type() != QEvent::MouseButtonRelease)
        return false;
    auto *mouse = static_cast<QMouseEvent *>(event);
    return mouse->button() == Qt::LeftButton && control->rect().contains(mouse->position().toPoint());
}

} // namespace

QString TrayTip(const QString &title)
{
    return platform::codepage::fromAnsi(platform::codepage::toAnsi(title).left(63));
}

QImage PageGradient(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    const int last = std::max(1, size.height() - 1);
    for (int y = 0; y < size.height(); ++y) {
        const double t = double(y) / last;
        const auto channel = [t](int top, int bottom) { return qRound(top + (bottom - top) * t); };
        const QRgb colour = qRgb(channel(255, 160), channel(255, 160), channel(255, 240));
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        std::fill(row, row + size.width(), colour);
    }
    return image;
}

frmMain::frmMain(const QString &programFolder, QWidget *parent)
    : gui::SkinnedWindow(parent), connection(new ServiceConnection(this)), store(programFolder + QStringLiteral("/users")),
      LoggedIn(connection->LoggedIn), UnreadCount(store.UnreadCount), m_programFolder(programFolder)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(QIcon(QStringLiteral(":/skins/icon-new.png")));
    setMouseTracking(true);

    for (int number : {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 16}) {
        QLabel *picture = Place<QLabel>(this, QStringLiteral("imgImage(%1)").arg(number), 0, 0, 0, 0);
        picture->setPixmap(QPixmap(QStringLiteral(":/skins/client-%1.png").arg(number)));
        picture->hide();
        imgImage.insert(number, picture);
    }

    lblDate = Place<QLabel>(this, QStringLiteral("lblDate"), 26, 16, 50, 20);
    imgLoggedIn = Place<QLabel>(this, QStringLiteral("imgLoggedIn"), 80, 16, 20, 20);
    imgNewMsg = Place<QLabel>(this, QStringLiteral("imgNewMsg"), 104, 16, 20, 20);
    imgMinimizeButton = Place<QLabel>(this, QStringLiteral("imgMinimizeButton"), 234, 15, 22, 22);
    imgCloseButton = Place<QLabel>(this, QStringLiteral("imgCloseButton"), 260, 15, 22, 22);
    lblPage = Place<QLabel>(this, QStringLiteral("lblPage"), 26, 48, 250, 32);
    for (QLabel *label : {lblDate, lblPage})
        label->setTextFormat(Qt::PlainText);
    QFont titleFont = lblPage->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.45);
    titleFont.setBold(true);
    lblPage->setFont(titleFont);
    for (QLabel *label : {lblDate, lblPage})
        SetTextColour(label, Qt::white);
    addDragHandle(lblPage);

    pageMenu = new PageMenu(this);
    pageNewSMS = new PageNewSMS(this);
    pageInbox = new PageInbox(this);
    pageSent = new PageSent(this);
    pageSettings = new PageSettings(this);
    pageLogin = new PageLogin(this);
    pagePhonebook = new PagePhonebook(this);
    const QList<QWidget *> boxes{pageMenu, pageNewSMS, pageInbox, pageSent, pageSettings, pageLogin, pagePhonebook};
    for (int i = 0; i < boxes.size(); ++i) {
        QWidget *box = boxes[i];
        box->setObjectName(QStringLiteral("picPage(%1)").arg(Pages[i]));
        box->setGeometry(QRect(PageOrigin, PageSize));
        // A press on a page is the page's, not the start of a drag.
        box->setAttribute(Qt::WA_NoMousePropagation);
        box->hide();
        picPage.insert(Pages[i], box);
    }

    // Back, home and the page action, from left to right.
    const QRect buttonPlaces[4] = {{}, {200, 404, 78, 36}, {112, 404, 78, 36}, {24, 404, 78, 36}};
    for (int i = 1; i <= 3; ++i) {
        const QRect &place = buttonPlaces[i];
        imgButton[i] = Place<QLabel>(this, QStringLiteral("imgButton(%1)").arg(i), place.x(), place.y(), place.width(), place.height());
    }
    lblSelect = PlaceCaption(this, QStringLiteral("lblSelect"), buttonPlaces[1]);
    lblHome = PlaceCaption(this, QStringLiteral("lblHome"), buttonPlaces[2]);
    lblBack = PlaceCaption(this, QStringLiteral("lblBack"), buttonPlaces[3]);
    for (QLabel *control : {imgButton[1], imgButton[2], imgButton[3], lblSelect, lblHome, lblBack, imgCloseButton, imgMinimizeButton}) {
        control->setMouseTracking(true);
        control->setCursor(Qt::PointingHandCursor);
        control->installEventFilter(this);
    }
    for (QLabel *caption : {lblSelect, lblHome, lblBack}) {
        SetTextColour(caption, Qt::white);
        QFont font = caption->font();
        font.setBold(true);
        caption->setFont(font);
    }
    for (int i = 1; i <= PageMenu::EntryCount; ++i) {
        pageMenu->lblMenu[i]->installEventFilter(this);
        pageMenu->imgIcon[i]->installEventFilter(this);
    }

    picAlert = Place<QFrame>(this, QStringLiteral("picAlert"), 36, 172, 230, 104);
    picAlert->setFrameStyle(QFrame::Box | QFrame::Plain);
    picAlert->setLineWidth(2);
    SetTextColour(picAlert, QColor(52, 54, 120));
    picAlert->setAttribute(Qt::WA_NoMousePropagation);
    picAlert->installEventFilter(this);
    picAlert->hide();
    lblAlert = Place<QLabel>(picAlert, QStringLiteral("lblAlert"), 10, 8, 210, 88);
    lblAlert->setTextFormat(Qt::PlainText);
    lblAlert->setWordWrap(true);
    lblAlert->setAlignment(Qt::AlignCenter);
    lblAlert->installEventFilter(this);
    QFont alertFont = lblAlert->font();
    alertFont.setBold(true);
    lblAlert->setFont(alertFont);

    tmrStatus = new QTimer(this);
    tmrStatus->setObjectName(QStringLiteral("tmrStatus"));
    tmrStatus->setInterval(StatusInterval);
    // An alert stays a full interval: a coarse timer could end it early.
    tmrStatus->setTimerType(Qt::PreciseTimer);
    connect(tmrStatus, &QTimer::timeout, this, &frmMain::tmrStatus_Timer);

    connect(pageInbox->lvInbox, &QTreeWidget::itemDoubleClicked, this, &frmMain::lvInbox_DblClick);
    connect(pageSent->lvSent, &QTreeWidget::itemDoubleClicked, this, &frmMain::lvSent_DblClick);
    ConnectMessageHandlers();
    ConnectComposeHandlers();

    Form_Initialize();
}

frmMain::~frmMain()
{
    Form_Unload();
    Form_Terminate();
}

QString frmMain::userFolder() const
{
    return store.UserFolder();
}

void frmMain::Form_Initialize()
{
    try {
        m_settingsPath = m_programFolder + QStringLiteral("/TalvinorSMSClient.ini");
        common::languageFolder = m_programFolder + QStringLiteral("/lang");
        const QString users = m_programFolder + QStringLiteral("/users");
        if (!QDir(users).exists() && !QDir().mkpath(users))
            throw platform::Error(ErrPathFileAccess, QStringLiteral("Path/File access error: %1").arg(users));
    } catch (...) {
        Report("Form_Initialize");
    }
}

void frmMain::Form_Load()
{
    try {
        setSkin(QImage(QStringLiteral(":/skins/client.png")));
        settings = ReadSettings(m_settingsPath);
        common::languageCode = settings.languageCode;
        common::ReadUnicodeLang();
        SetLanguage();
        InitSettings();
        modPDU::InitGsmAlphabet();
        setAlpha(settings.alpha);
        for (QWidget *box : picPage)
            FillPage(box);
        FillPage(picAlert);
        ShowPage(5);
        AddTrayIcon();
        show();
        if (settings.userName.isEmpty())
            pageLogin->txtUsername->setFocus();
        else
            pageLogin->txtPassword->setFocus();
        for (int i = 1; i <= PageMenu::EntryCount; ++i)
            pageMenu->lblMenu[i]->setFrameShape(QFrame::NoFrame);
        pageMenu->lblSelection->move(pageMenu->lblSelection->x(), -pageMenu->lblSelection->height());
        for (int i = 1; i <= 3; ++i)
            SetButtonPicture(i, Normal);
        imgCloseButton->setPixmap(Picture(13));
        imgMinimizeButton->setPixmap(Picture(15));
        tmrStatus_Timer();
        tmrStatus->start();
        mdlSound::InitSound(this);
        mdlSound::OpenWaveFile(m_programFolder + QStringLiteral("/sound/incoming_message.wav"));
    } catch (...) {
        Report("Form_Load");
        // A window without its login page or tray icon could be neither
        // used nor closed: the rest of the start-up is skipped, not that.
        if (!trayIcon)
            AddTrayIcon();
        if (!isVisible()) {
            ShowPage(5);
            show();
        }
        tmrStatus->start();
    }
}

void frmMain::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    if (mdlSound::IsWaveDeviceOpen())
        mdlSound::StopWave();
    mdlSound::CloseWaveFile();
    if (trayIcon)
        trayIcon->hide();
    tmrStatus->stop();
    Q_EMIT unloaded();
}

void frmMain::Form_Terminate()
{
    delete trayIcon;
    trayIcon = nullptr;
}

void frmMain::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frmMain::SetLanguage()
{
    try {
        setWindowTitle(Text("talvinor_sms_client"));
        lblHome->setText(Text("home"));
        lblBack->setText(Text("back"));
        pageLogin->lblLogin[0]->setText(Text("username"));
        pageLogin->lblLogin[1]->setText(Text("password"));
        const char *const menu[PageMenu::EntryCount + 1] = {nullptr, "new_sms_message", "inbox", "sent_items", "settings", "login"};
        for (int i = 1; i <= PageMenu::EntryCount; ++i)
            pageMenu->lblMenu[i]->setText(Text(menu[i]));
        const char *const config[4] = {"server_ip_host", "port", "language", "sound"};
        for (int i = 0; i < 4; ++i)
            pageSettings->lblConfig[i]->setText(Text(config[i]));
        pageLogin->chkSavePassword->setText(Text("save_my_password"));
        pageInbox->lblIncomingSMS->setText(Text("incoming_sms_messages"));
        pageSent->lblSentItems->setText(Text("sent_items"));
        pageNewSMS->lblNewSMS[0]->setText(Text("phonenumber"));
        pageNewSMS->lblNewSMS[1]->setText(Text("message"));
        pageNewSMS->imgPhonebookButton->setToolTip(gui::PlainToolTip(Text("phonebook")));
        pagePhonebook->lsvPhonebook->headerItem()->setText(0, Text("name"));
        pagePhonebook->lsvPhonebook->headerItem()->setText(1, Text("phonenumber"));
        pagePhonebook->lblPhonebookSelectAll->setText(Text("select_all"));
        pagePhonebook->lblPhonebookClearAll->setText(Text("clear_all"));
        pagePhonebook->lblPhonebookToggle->setText(Text("toggle"));
        pageSettings->cboSound->setItemText(0, Text("on"));
        pageSettings->cboSound->setItemText(1, Text("off"));
        pageNames = {{0, Text("menu")},  {1, Text("new_sms_message")}, {2, Text("inbox")},    {3, Text("sent_items")},
                     {4, Text("settings")}, {5, Text("login")},        {7, Text("phonebook")}};
    } catch (...) {
        Report("SetLanguage");
    }
}

void frmMain::InitSettings()
{
    try {
        const QString folder = m_programFolder + QStringLiteral("/lang");
        const QStringList files = common::ListLanguageFiles(folder);
        QComboBox *languages = pageSettings->cboLanguage;
        languages->clear();
        pageSettings->cboSound->setCurrentIndex(settings.sound ? 0 : 1);
        languageCodes.clear();
        int selected = -1;
        for (const QString &name : files) {
            const common::LanguageHeader header = common::ReadLanguageHeader(folder + QLatin1Char('/') + name);
            languageCodes.append(header.code);
            languages->addItem(header.listText());
            if (header.code == settings.languageCode)
                selected = languages->count() - 1;
        }
        languages->setCurrentIndex(selected);
    } catch (...) {
        Report("InitSettings");
    }
}

void frmMain::SaveSettingsPage()
{
    const int entry = pageSettings->cboLanguage->currentIndex();
    if (entry >= 0) {
        const QString before = settings.languageCode;
        settings.languageCode = languageCodes.value(entry);
        platform::IniFile ini;
        ini.setIniPath(m_settingsPath);
        ini.WriteValue(SettingsSection, QStringLiteral("Language"), settings.languageCode);
        if (settings.languageCode != before) {
            common::languageCode = settings.languageCode;
            common::ReadUnicodeLang();
            SetLanguage();
        }
    }
    settings.serverIP = pageSettings->txtServerIP->text();
    settings.serverPort = PortNumber(pageSettings->txtServerPort->text());
    settings.sound = pageSettings->cboSound->currentIndex() == 0;
    SaveSettings(m_settingsPath, settings);
    ShowPage(0);
    ShowAlert(Text("settings_saved"));
}

bool frmMain::SentFolderHoldsFiles() const
{
    return store.SentFolderHasFiles();
}

void frmMain::ShowPage(int page)
{
    try {
        if (!picPage.contains(page))
            throw platform::Error(platform::ErrSubscript, QStringLiteral("Subscript out of range: page %1").arg(page));
        if (page != 0 && page != 4 && page != 5 && !LoggedIn) {
            ShowPage(5);
            ShowAlert(Text("please_login_first") + QLatin1Char('.'));
            return;
        }
        currentPage = page;
        switch (page) {
        case 1:
            lblSelect->setText(Text("send"));
            break;
        case 2:
            lblSelect->clear();
            pageInbox->lvInbox->show();
            pageInbox->txtIncomingSMS->hide();
            LoadSMS();
            break;
        case 3:
            lblSelect->clear();
            pageSent->lvSent->show();
            pageSent->txtSentItem->hide();
            if (SentFolderHoldsFiles())
                LoadSMS();
            break;
        case 4:
            lblSelect->setText(Text("save"));
            pageSettings->txtServerIP->setText(settings.serverIP);
            pageSettings->txtServerPort->setText(QString::number(settings.serverPort));
            break;
        case 5:
            lblSelect->setText(Text("login"));
            pageLogin->txtUsername->setText(settings.userName);
            if (settings.savePassword) {
                pageLogin->txtPassword->setText(settings.passwordDigest);
                pageLogin->chkSavePassword->setChecked(true);
            }
            break;
        case 7:
            lblSelect->setText(Text("select"));
            break;
        default:
            lblSelect->clear();
            break;
        }
        QWidget *box = picPage.value(page);
        box->move(PageOrigin);
        box->raise();
        box->show();
        for (QWidget *other : picPage) {
            if (other != box)
                other->hide();
        }
        // An alert stays above whatever page comes up under it.
        if (!picAlert->isHidden())
            picAlert->raise();
        SetPageName(pageNames.value(page));
    } catch (...) {
        Report("ShowPage");
    }
}

void frmMain::ShowAlert(const QString &text)
{
    lblAlert->setText(text);
    picAlert->raise();
    picAlert->show();
    // The alert stays for one full interval: the next tick hides it.
    tmrStatus->stop();
    tmrStatus->start();
}

void frmMain::HideAlert()
{
    picAlert->hide();
}

void frmMain::SetPageName(const QString &text)
{
    lblPage->setText(text);
}

void frmMain::FillPage(QWidget *box)
{
    try {
        QPalette palette = box->palette();
        palette.setBrush(QPalette::Window, QBrush(PageGradient(size())));
        box->setPalette(palette);
        box->setAutoFillBackground(true);
    } catch (...) {
        Report("FillPage");
    }
}

void frmMain::tmrStatus_Timer()
{
    try {
        HideAlert();
        lblDate->setText(QTime::currentTime().toString(QStringLiteral("hh:mm")));
        if (LoggedIn) {
            imgLoggedIn->setPixmap(Picture(11));
            if (UnreadCount != 0) {
                blinkPhase = !blinkPhase;
                imgNewMsg->setPixmap(blinkPhase ? Picture(12) : QPixmap());
            } else {
                imgNewMsg->setPixmap(QPixmap());
            }
        } else {
            imgLoggedIn->setPixmap(Picture(10));
            imgNewMsg->setPixmap(QPixmap());
        }
    } catch (...) {
        Report("tmrStatus_Timer");
    }
}

QPixmap frmMain::Picture(int number) const
{
    return imgImage.value(number)->pixmap();
}

void frmMain::SetButtonPicture(int index, int state)
{
    imgButton[index]->setPixmap(Picture(ButtonPictures[index] + state));
}

void frmMain::ButtonMouse(int index, Qt::MouseButtons buttons)
{
    if (hoveredButton != 0 && hoveredButton != index)
        SetButtonPicture(hoveredButton, Normal);
    SetButtonPicture(index, buttons == Qt::NoButton ? Over : Pressed);
    hoveredButton = index;
}

void frmMain::NormalPictures()
{
    if (hoveredButton != 0) {
        for (int i = 1; i <= 3; ++i)
            SetButtonPicture(i, Normal);
    }
    imgCloseButton->setPixmap(Picture(13));
    imgMinimizeButton->setPixmap(Picture(15));
    hoveredButton = 0;
}

void frmMain::mouseMoveEvent(QMouseEvent *event)
{
    if (!childAt(event->position().toPoint()))
        NormalPictures();
    gui::SkinnedWindow::mouseMoveEvent(event);
}

void frmMain::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        imgMinimizeButton_Click();
        return;
    }
    gui::SkinnedWindow::keyPressEvent(event);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress && pageNewSMS && watched == pageNewSMS->txtPhoneNumber)
        return !txtPhoneNumber_KeyPress(*static_cast<QKeyEvent *>(event));
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease
        && type != QEvent::MouseButtonDblClick)
        return gui::SkinnedWindow::eventFilter(watched, event);
    auto *control = qobject_cast<QWidget *>(watched);
    if (!control)
        return gui::SkinnedWindow::eventFilter(watched, event);
    auto *mouse = static_cast<QMouseEvent *>(event);
    const bool pointing = type == QEvent::MouseMove || type == QEvent::MouseButtonPress;

    for (int i = 1; i <= 3; ++i) {
        QLabel *caption = i == 1 ? lblSelect : i == 2 ? lblHome : lblBack;
        if (control != imgButton[i] && control != caption)
            continue;
        if (pointing)
            ButtonMouse(i, mouse->buttons());
        else if (IsLeftClick(event, control))
            imgButton_Click(i);
        return true;
    }
    if (control == imgCloseButton || control == imgMinimizeButton) {
        const bool close = control == imgCloseButton;
        if (pointing)
            static_cast<QLabel *>(control)->setPixmap(Picture((close ? 13 : 15) + (type == QEvent::MouseMove && mouse->buttons() == Qt::NoButton ? 1 : 0)));
        else if (IsLeftClick(event, control))
            close ? imgCloseButton_Click() : imgMinimizeButton_Click();
        return true;
    }
    for (int i = 1; i <= PageMenu::EntryCount; ++i) {
        if (control != pageMenu->lblMenu[i] && control != pageMenu->imgIcon[i])
            continue;
        if (type == QEvent::MouseMove)
            pageMenu->lblSelection->move(pageMenu->lblSelection->x(), pageMenu->lblMenu[i]->y() - 5);
        else if (IsLeftClick(event, control))
            lblMenu_Click(i);
        return true;
    }
    const std::pair<QLabel *, void (frmMain::*)()> tickLabels[] = {
        {pagePhonebook->lblPhonebookSelectAll, &frmMain::lblPhonebookSelectAll_Click},
        {pagePhonebook->lblPhonebookClearAll, &frmMain::lblPhonebookClearAll_Click},
        {pagePhonebook->lblPhonebookToggle, &frmMain::lblPhonebookToggle_Click}};
    for (const auto &[label, click] : tickLabels) {
        if (control != label)
            continue;
        if (IsLeftClick(event, control))
            (this->*click)();
        return true;
    }
    if (control == picAlert || control == lblAlert) {
        if (IsLeftClick(event, control))
            HideAlert();
        return true;
    }
    return gui::SkinnedWindow::eventFilter(watched, event);
}

void frmMain::lblMenu_Click(int index)
{
    HideAlert();
    if (index == 1)
        pageNewSMS->uflContacts->ClearEntries();
    ShowPage(index);
}

void frmMain::imgButton_Click(int index)
{
    try {
        if (!picAlert->isHidden()) {
            HideAlert();
            return;
        }
        switch (index) {
        case 1:
            switch (currentPage) {
            case 1:
                SendSMS();
                break;
            case 4:
                SaveSettingsPage();
                break;
            case 5:
                Login();
                break;
            case 7:
                CopyToRecipients();
                break;
            default:
                break;
            }
            break;
        case 2:
            ShowPage(0);
            break;
        case 3:
            switch (currentPage) {
            case 2:
                ShowPage(pageInbox->lvInbox->isHidden() ? 2 : 0);
                break;
            case 3:
                ShowPage(pageSent->lvSent->isHidden() ? 3 : 0);
                break;
            case 5:
                if (LoggedIn)
                    ShowPage(0);
                break;
            case 7:
                ShowPage(1);
                break;
            case 1:
            case 4:
                ShowPage(0);
                break;
            default:
                break;
            }
            break;
        default:
            break;
        }
    } catch (...) {
        Report("imgButton_Click");
    }
}

void frmMain::imgCloseButton_Click()
{
    try {
        close();
    } catch (...) {
        Report("imgCloseButton_Click");
    }
}

void frmMain::imgMinimizeButton_Click()
{
    try {
        // Without a notification area a hidden window could not come back.
        if (trayIcon && QSystemTrayIcon::isSystemTrayAvailable()) {
            setWindowState(windowState() | Qt::WindowMinimized);
            hide();
        } else {
            showMinimized();
        }
    } catch (...) {
        Report("imgMinimizeButton_Click");
    }
}

void frmMain::AddTrayIcon()
{
    trayIcon = new QSystemTrayIcon(windowIcon(), this);
    trayIcon->setObjectName(QStringLiteral("trayIcon"));
    trayIcon->setToolTip(TrayTip(windowTitle()));
    connect(trayIcon, &QSystemTrayIcon::activated, this, &frmMain::TrayIcon_Activated);
    trayIcon->show();
}

void frmMain::TrayIcon_Activated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::Trigger)
        return;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

