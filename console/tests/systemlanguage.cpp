// Qt's own texts in the console's real window, with the system language
// this program was built for (SYSTEM_LOCALE): the delete question's buttons
// and the import dialog. The locale is set before the application starts,
// as the system would have it, and the translations are put in place as the
// console's start does.
#include "formtest.h"

#include "text.h"

#include "gui/systemlanguage.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>

namespace {

// What a user of the system language reads, mnemonics left out; a language
// Qt has no translation for keeps English.
struct QtTexts {
    QString yes, no, lookIn, fileName, fileType, open, cancel;
};

QtTexts Expected()
{
    if (QStringLiteral(SYSTEM_LOCALE).startsWith(QLatin1String("tr")))
        return {S(u"Evet"), S(u"Hayır"), S(u"Arama konumu:"), S(u"Dosya adı:"), S(u"Dosyaların türü:"), S(u"Aç"), S(u"İptal")};
    return {S(u"Yes"), S(u"No"), S(u"Look in:"), S(u"File name:"), S(u"Files of type:"), S(u"Open"), S(u"Cancel")};
}

QString TextOf(const QAbstractButton *button)
{
    return button ? QString(button->text()).remove(QLatin1Char('&')) : QStringLiteral("<none>");
}

QString TextOf(const QWidget *dialog, const char *label)
{
    const auto *widget = dialog->findChild<QLabel *>(QLatin1String(label));
    return widget ? QString(widget->text()).remove(QLatin1Char('&')) : QStringLiteral("<none>");
}

class SystemLanguage : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        WriteConsoleSettings("Language=en\n");
        // The real boxes, not the recorder's answers.
        recorder = common::SetBoxHandler({});
    }
    void TearDown() override { common::SetBoxHandler(recorder); }

    // Once the modal window `T` is up, `look` reads it and then closes it.
    template <class T>
    void WhenShown(std::function<void(T *)> look)
    {
        auto *timer = new QTimer(window.get());
        timer->setInterval(20);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, look] {
            if (auto *modal = qobject_cast<T *>(QApplication::activeModalWidget())) {
                timer->stop();
                timer->deleteLater();
                look(modal);
            }
        });
        timer->start();
    }

    common::BoxHandler recorder;
};

} // namespace

TEST_F(SystemLanguage, TheDeleteQuestionAnswersInTheSystemLanguage)
{
    Exec("application",
         QStringLiteral("INSERT INTO Users (UserName, UserPassword, FirstName, LastName, ModeratorAccess, ManualNumberPermission) "
                        "VALUES ('ali', '', 'Ali', 'Kaya', 0, 0)"));
    ASSERT_TRUE(Start());
    QString yes;
    QString no;
    WhenShown<QMessageBox>([&](QMessageBox *box) {
        yes = TextOf(box->button(QMessageBox::Yes));
        no = TextOf(box->button(QMessageBox::No));
        QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    });
    Click("btnDeleteUser");
    EXPECT_EQ(yes, Expected().yes);
    EXPECT_EQ(no, Expected().no);
    EXPECT_EQ(Value("application", QStringLiteral("SELECT COUNT(*) FROM Users")), QStringLiteral("1"));
}

TEST_F(SystemLanguage, TheImportDialogSpeaksTheSystemLanguage)
{
    ASSERT_TRUE(Start());
    QTest::mouseClick(Find<QWidget>("optTab(3)"), Qt::LeftButton);
    QtTexts shown;
    WhenShown<QFileDialog>([&](QFileDialog *dialog) {
        shown.lookIn = TextOf(dialog, "lookInLabel");
        shown.fileName = TextOf(dialog, "fileNameLabel");
        shown.fileType = TextOf(dialog, "fileTypeLabel");
        if (const auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))) {
            shown.open = TextOf(buttons->button(QDialogButtonBox::Open));
            shown.cancel = TextOf(buttons->button(QDialogButtonBox::Cancel));
        }
        dialog->reject();
    });
    Click("btnImportFromExcel");
    const QtTexts expected = Expected();
    EXPECT_EQ(shown.lookIn, expected.lookIn);
    EXPECT_EQ(shown.fileName, expected.fileName);
    EXPECT_EQ(shown.fileType, expected.fileType);
    EXPECT_EQ(shown.open, expected.open);
    EXPECT_EQ(shown.cancel, expected.cancel);
}

int main(int argc, char **argv)
{
    for (const char *variable : {"LANG", "LC_ALL", "LC_MESSAGES"})
        qputenv(variable, SYSTEM_LOCALE);
    qunsetenv("LANGUAGE");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    gui::InstallQtTranslations(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
