#include "consoletest.h"

#include "gui/arbutton.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeView>

namespace {

enum Kind { Caption, LabelWithColon, Button, Header, Row };

struct Target {
    const char *control;
    Kind kind;
    const char *key;
    int position = 0;
};

// Every text target of the window, with its language key.
const Target Targets[] = {
    {"lblCaption", Caption, "talvinor_sms_server"},
    {"optTab(0)", Caption, "users"}, {"optTab(1)", Caption, "phonebook"}, {"optTab(2)", Caption, "groups"},
    {"optTab(3)", Caption, "bulk_sms"}, {"optTab(4)", Caption, "settings"},
    {"btnMinimize", Button, "minimize"}, {"btnQuit", Button, "quit"},
    {"lblUserName", LabelWithColon, "username"}, {"lblUserPassword", LabelWithColon, "password"},
    {"lblUserFirstName", LabelWithColon, "firstname"}, {"lblUserLastName", LabelWithColon, "lastname"},
    {"chkUserModeratorAccess", Caption, "moderator_access"},
    {"chkUserManualNumberPermission", Caption, "manual_number_entry_permission"},
    {"lblUsers", Caption, "users"},
    {"btnAddUser", Button, "add_user"}, {"btnEditUser", Button, "edit_user"}, {"btnDeleteUser", Button, "delete_user"},
    {"btnClearFormUser", Button, "clear_form"},
    {"lblFirstName", LabelWithColon, "firstname"}, {"lblLastName", LabelWithColon, "lastname"},
    {"lblCompany", LabelWithColon, "company"}, {"lblPhonenumber", LabelWithColon, "phonenumber"},
    {"btnAddPhonenumber", Button, "add_phonenumber"}, {"btnEditPhonenumber", Button, "edit_phonenumber"},
    {"btnDeletePhonenumber", Button, "delete_phonenumber"}, {"btnClearFormPhonenumber", Button, "clear_form"},
    {"lsvPhonenumber", Header, "name", 0}, {"lsvPhonenumber", Header, "lastname", 1},
    {"lsvPhonenumber", Header, "company", 2}, {"lsvPhonenumber", Header, "phonenumber", 3},
    {"lblGroupName", LabelWithColon, "group_name"},
    {"btnAddGroup", Button, "add_group"}, {"btnEditGroup", Button, "edit_group"}, {"btnDeleteGroup", Button, "delete_group"},
    {"btnClearFormGroup", Button, "clear_form"},
    {"lblGroups", Caption, "groups"}, {"lblPhonenumbers", Caption, "phonenumbers"},
    {"btnImportFromExcel", Button, "import_from_excel"}, {"btnClearBulkSMSList", Button, "clear_list"},
    {"btnAddNameToSMS", Button, "add_name_to_message"}, {"btnSendSMS", Button, "send_sms"},
    {"lblBulkSMSList", LabelWithColon, "bulk_sms_list"}, {"lblSMSMessage", LabelWithColon, "sms_message"},
    {"lblLanguage", LabelWithColon, "language"},
    {"btnSettingsSave", Button, "save"},
    {"lsvBulkSMSList", Header, "name", 0}, {"lsvBulkSMSList", Header, "phonenumber", 1},
    {"lsvGroupPhonenumbers", Header, "name", 0}, {"lsvGroupPhonenumbers", Header, "lastname", 1},
    {"lsvGroupPhonenumbers", Header, "company", 2}, {"lsvGroupPhonenumbers", Header, "phonenumber", 3},
    {"lblWindowTransparency", Caption, "window_tranparency"},
    {"cmbWindowTransparency", Row, "_none", 0}, {"cmbWindowTransparency", Row, "low", 1}, {"cmbWindowTransparency", Row, "high", 2},
    {"frmInterfaceSettings", Caption, "interface_settings"},
    {"frmAllowedTimeInterval", Caption, "allowed_time_interval_for_sending_bulk_sms"},
    {"lblStartTime", LabelWithColon, "start_time"}, {"lblEndTime", LabelWithColon, "end_time"},
};

// The texts a target shows: a button gives its caption and its tool tip.
QStringList Shown(const frmMain &window, const Target &t)
{
    QObject *control = window.findChild<QObject *>(QLatin1String(t.control));
    if (!control)
        return {QStringLiteral("<missing %1>").arg(QLatin1String(t.control))};
    if (auto *button = qobject_cast<gui::ARButton *>(control))
        return {button->caption(), button->toolTip()};
    if (auto *label = qobject_cast<QLabel *>(control))
        return {label->text()};
    if (auto *button = qobject_cast<QAbstractButton *>(control))
        return {button->text()};
    if (auto *frame = qobject_cast<QGroupBox *>(control))
        return {frame->title()};
    if (auto *list = qobject_cast<QTreeView *>(control))
        return {list->model()->headerData(t.position, Qt::Horizontal).toString()};
    if (auto *selector = qobject_cast<QComboBox *>(control))
        return {selector->itemText(t.position)};
    return {QStringLiteral("<unknown kind>")};
}

QStringList Expected(const Target &t)
{
    const QString text = common::LanguageText(QLatin1String(t.key));
    switch (t.kind) {
    case LabelWithColon:
        return {text + QStringLiteral(" :")};
    case Button:
        return {text, text};
    default:
        return {text};
    }
}

void SendMouse(QWidget *target, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    const QPoint local(5, 5);
    QMouseEvent event(type, QPointF(local), QPointF(target->mapToGlobal(local)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

TEST_F(ConsoleTest, EveryTargetShowsItsLanguageText)
{
    ASSERT_EQ(std::size(Targets) + 1, 61u); // and the window's own title
    for (const char *code : {"tr", "en"}) {
        WriteConsoleSettings(QByteArray("Language=") + code + '\n');
        ASSERT_TRUE(Start());
        EXPECT_EQ(window->windowTitle(), common::LanguageText(QStringLiteral("talvinor_sms_server")));
        for (const Target &t : Targets) {
            EXPECT_EQ(Shown(*window, t), Expected(t)) << code << " " << t.control << " " << t.key;
            EXPECT_FALSE(Expected(t).first().trimmed().isEmpty()) << code << " " << t.key;
        }
    }
    // Keys both tabs share give the same text.
    EXPECT_EQ(Find<QLabel>("lblUsers")->text(), Find<QPushButton>("optTab(0)")->text());
    EXPECT_EQ(Find<QLabel>("lblGroups")->text(), Find<QPushButton>("optTab(2)")->text());
    EXPECT_FALSE(Find<QLabel>("lblWindowTransparency")->text().endsWith(QLatin1Char(':')));
}

TEST_F(ConsoleTest, AKeyMissingFromTheFileEmptiesOnlyItsTargets)
{
    QFile en(folder.filePath(QStringLiteral("lang/en.ini")));
    ASSERT_TRUE(en.open(QIODevice::ReadOnly));
    QByteArray bytes = en.readAll();
    const QByteArray userLine = QStringLiteral("username=User name\r\n").toUtf8();
    QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2), (bytes.size() - 2) / 2);
    ASSERT_TRUE(text.contains(QString::fromUtf8(userLine)));
    text.remove(QString::fromUtf8(userLine));
    text.replace(QStringLiteral("language_initials=en"), QStringLiteral("language_initials=zz"));
    QFile zz(folder.filePath(QStringLiteral("lang/zz.ini")));
    ASSERT_TRUE(zz.open(QIODevice::WriteOnly));
    zz.write(QByteArray("\xFF\xFE", 2) + QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2));
    zz.close();

    WriteConsoleSettings("Language=zz\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(ErrorBoxes(), 0);
    EXPECT_EQ(Find<QLabel>("lblUserName")->text(), QStringLiteral(" :"));
    EXPECT_EQ(Find<QLabel>("lblUserPassword")->text(), QStringLiteral("Password :"));
    EXPECT_EQ(Find<QLabel>("lblCaption")->text(), QStringLiteral("Talvinor SMS Server"));
}

TEST_F(ConsoleTest, TabsShowOnePageMarkTheCurrentInBoldAndStayUnpressed)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    for (int index : {3, 1, 4, 2, 2, 0}) {
        auto *tab = Find<QPushButton>(QStringLiteral("optTab(%1)").arg(index).toLatin1().constData());
        QTest::mouseClick(tab, Qt::LeftButton);
        for (int j = 0; j < frmMain::TabCount; ++j) {
            const QByteArray name = QByteArray::number(j);
            auto *button = Find<QPushButton>(("optTab(" + name + ")").constData());
            auto *page = Find<QWidget>(("frmTabs(" + name + ")").constData());
            EXPECT_EQ(page->isVisible(), j == index) << index << " " << j;
            EXPECT_EQ(page->pos(), QPoint(46, 58));
            EXPECT_EQ(button->font().bold(), j == index) << index << " " << j;
            EXPECT_FALSE(button->isDown());
            EXPECT_FALSE(button->isChecked());
        }
        EXPECT_TRUE(Find<QWidget>("picFocus")->hasFocus()) << index;
    }
}

TEST_F(ConsoleTest, EscOnAnyTabAndTheMinimizeButtonMinimize)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->optTab_Click(1);
    auto *box = Find<QLineEdit>("txtCompany");
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_TRUE(window->isMinimized());

    window->showNormal();
    EXPECT_FALSE(window->isMinimized());
    QTest::mouseClick(Find<QWidget>("btnMinimize"), Qt::LeftButton);
    EXPECT_TRUE(window->isMinimized());
}

TEST_F(ConsoleTest, TheCaptionAndThePagesDragTheWindowWithTheLeftButtonAlone)
{
    ASSERT_TRUE(Start());
    QSignalSpy drags(window.get(), &gui::SkinnedWindow::dragStarted);
    auto *caption = Find<QLabel>("lblCaption");
    auto *page = Find<QWidget>("frmTabs(0)");
    SendMouse(caption, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton);
    SendMouse(page, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton | Qt::RightButton);
    SendMouse(caption, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(drags.size(), 0);
    SendMouse(caption, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    SendMouse(caption, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    SendMouse(page, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton);
    SendMouse(page, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(drags.size(), 2);
    // Buttons keep their clicks.
    QSignalSpy clicks(Find<gui::ARButton>("btnSettingsSave"), &gui::ARButton::clicked);
    window->optTab_Click(4);
    QTest::mouseClick(Find<QWidget>("btnSettingsSave"), Qt::LeftButton);
    EXPECT_EQ(clicks.size(), 1);
    EXPECT_EQ(drags.size(), 2);
}
