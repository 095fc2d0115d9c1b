#include "frmmain.h"

#include "imagebutton.h"
#include "pageparts.h"
#include "pages.h"

#include "clientsound/mdlsound.h"
#include "common/language.h"
#include "gui/place.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "vorbex/modpdu.h"

#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <QTime>
#include <QTimer>

using gui::Place;

namespace {

constexpr int ErrPathFileAccess = 75;
constexpr int StatusInterval = 3500;
const QPoint PageOrigin(24, 91);

// Picture store numbers of the action buttons' normal pictures; the
// mouse-over and pressed pictures follow.
constexpr int ButtonPictures[4] = {0, 3, 0, 6};
enum ButtonState { Normal = 0, Over = 1, Pressed = 2 };

ImageButton *PlaceCaption(QWidget *parent, const QString &name, const QRect &place)
{
    auto *label = Place<ImageButton>(parent, name, place.x(), place.y(), place.width(), place.height());
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
      m_programFolder(programFolder)
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
    imgMinimizeButton = Place<ImageButton>(this, QStringLiteral("imgMinimizeButton"), 234, 15, 22, 22);
    imgCloseButton = Place<ImageButton>(this, QStringLiteral("imgCloseButton"), 260, 15, 22, 22);
    imgCloseButton->SetPictures(Picture(13), Picture(14), Picture(13));
    imgMinimizeButton->SetPictures(Picture(15), Picture(16), Picture(15));
    connect(imgCloseButton, &ImageButton::clicked, this, &frmMain::imgCloseButton_Click);
    connect(imgMinimizeButton, &ImageButton::clicked, this, &frmMain::imgMinimizeButton_Click);
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

    pageMenu = new PageMenu(*this);
    pageNewSMS = new PageNewSMS(*this);
    pageInbox = new PageInbox(*this);
    pageSent = new PageSent(*this);
    pageSettings = new PageSettings(*this);
    pageLogin = new PageLogin(*this);
    pagePhonebook = new PagePhonebook(*this);
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
        imgButton[i] = Place<ImageButton>(this, QStringLiteral("imgButton(%1)").arg(i), place.x(), place.y(), place.width(), place.height());
        const int normal = ButtonPictures[i];
        imgButton[i]->SetPictures(Picture(normal + Normal), Picture(normal + Over), Picture(normal + Pressed));
    }
    lblSelect = PlaceCaption(this, QStringLiteral("lblSelect"), buttonPlaces[1]);
    lblHome = PlaceCaption(this, QStringLiteral("lblHome"), buttonPlaces[2]);
    lblBack = PlaceCaption(this, QStringLiteral("lblBack"), buttonPlaces[3]);
    // A caption is part of its button: the mouse over it and a click on it
    // are the button's.
    const ImageButton *captions[4] = {nullptr, lblSelect, lblHome, lblBack};
    for (int i = 1; i <= 3; ++i) {
        for (const ImageButton *part : {static_cast<const ImageButton *>(imgButton[i]), captions[i]}) {
            connect(part, &ImageButton::pointed, this, [this, i](Qt::MouseButtons buttons) { ButtonMouse(i, buttons); });
            connect(part, &ImageButton::clicked, this, [this, i] { imgButton_Click(i); });
        }
    }
    for (ImageButton *caption : {lblSelect, lblHome, lblBack}) {
        SetTextColour(caption, Qt::white);
        QFont font = caption->font();
        font.setBold(true);
        caption->setFont(font);
    }

    // A click on the alert, on its box or its text, closes it.
    picAlert = Place<ImageButton>(this, QStringLiteral("picAlert"), 36, 172, 230, 104);
    picAlert->setCursor(Qt::ArrowCursor);
    picAlert->setFrameStyle(QFrame::Box | QFrame::Plain);
    picAlert->setLineWidth(2);
    SetTextColour(picAlert, QColor(52, 54, 120));
    picAlert->hide();
    lblAlert = Place<ImageButton>(picAlert, QStringLiteral("lblAlert"), 10, 8, 210, 88);
    lblAlert->setCursor(Qt::ArrowCursor);
    lblAlert->setTextFormat(Qt::PlainText);
    lblAlert->setWordWrap(true);
    lblAlert->setAlignment(Qt::AlignCenter);
    QFont alertFont = lblAlert->font();
    alertFont.setBold(true);
    lblAlert->setFont(alertFont);
    for (ImageButton *part : {picAlert, lblAlert})
        connect(part, &ImageButton::clicked, this, &frmMain::HideAlert);

    tmrStatus = new QTimer(this);
    tmrStatus->setObjectName(QStringLiteral("tmrStatus"));
    tmrStatus->setInterval(StatusInterval);
    // An alert stays a full interval: a coarse timer could end it early.
    tmrStatus->setTimerType(Qt::PreciseTimer);
    connect(tmrStatus, &QTimer::timeout, this, &frmMain::tmrStatus_Timer);

    connect(connection, &ServiceConnection::Alert, this,
            [this](const QString &key, const QString &suffix) { ShowAlert(common::LanguageText(key) + suffix); });
    connect(connection, &ServiceConnection::LoginAccepted, this, &frmMain::LoginAccepted);
    connect(connection, &ServiceConnection::NewSMS, pageInbox, &PageInbox::NewSMSArrived);

    Form_Initialize();
}

frmMain::~frmMain()
{
    Form_Unload();
    Form_Terminate();
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
        ReportIn("Form_Initialize");
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
        pageSettings->InitSettings();
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
        pageMenu->PrepareMenu();
        for (ImageButton *button : {imgButton[1], imgButton[2], imgButton[3], imgCloseButton, imgMinimizeButton})
            button->ShowNormal();
        tmrStatus_Timer();
        tmrStatus->start();
        mdlSound::InitSound(this);
        mdlSound::OpenWaveFile(m_programFolder + QStringLiteral("/sound/incoming_message.wav"));
    } catch (...) {
        ReportIn("Form_Load");
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
        pageMenu->SetLanguage();
        pageNewSMS->SetLanguage();
        pageInbox->SetLanguage();
        pageSent->SetLanguage();
        pageSettings->SetLanguage();
        pageLogin->SetLanguage();
        pagePhonebook->SetLanguage();
        pageNames = {{0, Text("menu")},  {1, Text("new_sms_message")}, {2, Text("inbox")},    {3, Text("sent_items")},
                     {4, Text("settings")}, {5, Text("login")},        {7, Text("phonebook")}};
    } catch (...) {
        ReportIn("SetLanguage");
    }
}

// The window's side of an accepted login: the number box as the user may
// use it, the user's store and lists, the indicator and the header.
void frmMain::LoginAccepted()
{
    try {
        pageNewSMS->AllowFreeNumbers(connection->AllowFreeNumbers == 1);
        store.OpenMessageStore(connection->UserName);
        // The lists show the new user's store from now on.
        pageInbox->lvInbox->clear();
        pageSent->lvSent->clear();
        imgNewMsg->setPixmap(store.UnreadCount != 0 ? Picture(12) : QPixmap());
        pageNewSMS->PrepareNewSMSMessage();
        ShowPage(0);
    } catch (...) {
        ReportIn("ExecuteCommand");
    }
}

void frmMain::ShowPage(int page)
{
    try {
        if (!picPage.contains(page))
            throw platform::Error(platform::ErrSubscript, QStringLiteral("Subscript out of range: page %1").arg(page));
        if (page != 0 && page != 4 && page != 5 && !connection->LoggedIn) {
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
            pageInbox->ShowList();
            break;
        case 3:
            lblSelect->clear();
            pageSent->ShowList();
            break;
        case 4:
            lblSelect->setText(Text("save"));
            pageSettings->ShowSettings();
            break;
        case 5:
            lblSelect->setText(Text("login"));
            pageLogin->ShowLogin();
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
        ReportIn("ShowPage");
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
        ReportIn("FillPage");
    }
}

void frmMain::tmrStatus_Timer()
{
    try {
        HideAlert();
        lblDate->setText(QTime::currentTime().toString(QStringLiteral("hh:mm")));
        if (connection->LoggedIn) {
            imgLoggedIn->setPixmap(Picture(11));
            if (store.UnreadCount != 0) {
                m_blinkPhase = !m_blinkPhase;
                imgNewMsg->setPixmap(m_blinkPhase ? Picture(12) : QPixmap());
            } else {
                imgNewMsg->setPixmap(QPixmap());
            }
        } else {
            imgLoggedIn->setPixmap(Picture(10));
            imgNewMsg->setPixmap(QPixmap());
        }
    } catch (...) {
        ReportIn("tmrStatus_Timer");
    }
}

QPixmap frmMain::Picture(int number) const
{
    return imgImage.value(number)->pixmap();
}

void frmMain::ButtonMouse(int index, Qt::MouseButtons buttons)
{
    if (hoveredButton != 0 && hoveredButton != index)
        imgButton[hoveredButton]->ShowNormal();
    imgButton[index]->ShowPointed(buttons);
    hoveredButton = index;
}

void frmMain::NormalPictures()
{
    if (hoveredButton != 0) {
        for (int i = 1; i <= 3; ++i)
            imgButton[i]->ShowNormal();
    }
    imgCloseButton->ShowNormal();
    imgMinimizeButton->ShowNormal();
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
                pageNewSMS->SendSMS();
                break;
            case 4:
                pageSettings->SaveSettingsPage();
                break;
            case 5:
                pageLogin->Login();
                break;
            case 7:
                pagePhonebook->CopyToRecipients();
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
                if (connection->LoggedIn)
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
        ReportIn("imgButton_Click");
    }
}

void frmMain::imgCloseButton_Click()
{
    try {
        close();
    } catch (...) {
        ReportIn("imgCloseButton_Click");
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
        ReportIn("imgMinimizeButton_Click");
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

