#include "common/errorlog.h"
#include "platform/error.h"
#include "ownerrorlog.h"
#include "text.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct SeenBox {
    bool shown = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::TextFormat format = Qt::AutoText;
    QByteArray logWhileOpen;
};

// Waits in the box's own event loop for the box, notes what it shows and
// what the log holds meanwhile, then presses its OK button.
void AnswerNextBox(SeenBox &seen)
{
    QTimer::singleShot(0, [&seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) {
            AnswerNextBox(seen);
            return;
        }
        seen = {true, box->windowTitle(), box->text(), box->icon(), box->textFormat(), ReadErrorLog()};
        box->button(QMessageBox::Ok)->click();
    });
}

SeenBox FailAndLog(int number, const QString &description, const QString &procedureName)
{
    SeenBox seen;
    AnswerNextBox(seen);
    try {
        throw platform::Error(number, description);
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), procedureName);
    }
    return seen;
}

class ErrorBox : public ::testing::Test {
protected:
    void SetUp() override { UseOwnErrorLog(); }
    void TearDown() override { QFile::remove(ErrorLogPath()); }
};

} // namespace

TEST_F(ErrorBox, ShowsTheErrorTextAfterTheEntryIsWritten)
{
    const SeenBox seen = FailAndLog(6, QStringLiteral("Overflow"), QStringLiteral("ShowPage"));
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, QStringLiteral("Error"));
    EXPECT_EQ(seen.text, QStringLiteral("6 Overflow\r\nfrmMain : ShowPage"));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_TRUE(seen.logWhileOpen.endsWith("Error occured in: frmMain-->ShowPage\n6 Overflow\r\nfrmMain : ShowPage\n"))
        << seen.logWhileOpen.constData();
}

TEST_F(ErrorBox, EachErrorIsWrittenAndClosedBeforeItsBox)
{
    const SeenBox first = FailAndLog(5, QStringLiteral("first"), QStringLiteral("Form_Load"));
    const SeenBox second = FailAndLog(9, QStringLiteral("second"), QStringLiteral("SetLanguage"));
    ASSERT_TRUE(first.shown && second.shown);
    EXPECT_EQ(first.logWhileOpen.count("Error occured in: "), 1);
    EXPECT_EQ(second.logWhileOpen.count("Error occured in: "), 2);
    EXPECT_TRUE(second.logWhileOpen.startsWith(first.logWhileOpen));
    EXPECT_EQ(second.text, QStringLiteral("9 second\r\nfrmMain : SetLanguage"));
}

TEST_F(ErrorBox, DescriptionIsShownAsPlainText)
{
    const SeenBox seen = FailAndLog(13, QStringLiteral("<b>bold</b>"), QStringLiteral("ShowPage"));
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.text, QStringLiteral("13 <b>bold</b>\r\nfrmMain : ShowPage"));
    EXPECT_EQ(seen.format, Qt::PlainText);
}

int main(int argc, char **argv)
{
    // The boxes need no screen; test discovery runs without ctest's environment.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
