// The bulk tab on the real window: importing the list from spreadsheets,
// the message field and its buttons, and the send into Unsent.
#include "bulktest.h"

#include "platform/codepage.h"
#include "sheetfixtures.h"
#include "text.h"

#include <QComboBox>
#include <QListView>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>

namespace {

using xlsxwriter::Cell;

QString Found(qsizetype count)
{
    return common::LanguageText(S(u"x_suitable_records_found_in_excel_file")).replace(S(u"%1"), QString::number(count));
}

TEST_F(BulkTabTest, AnImportTakesTheRowsWhoseNumberLooksLikeOneAndTheNextReplacesThem)
{
    ASSERT_TRUE(StartOnBulkTab());
    Import(WriteWorkbook(S(u"people.xlsx"), {{Cell::Shared(S(u"Name")), Cell::Shared(S(u"Phone"))},
                                            {Cell::Shared(S(u"Ayşe Çağlar")), Cell::Number(5321234567)},
                                            {Cell::Shared(S(u"Ali Veli")), Cell::Shared(S(u"+90 (532) 123-45-67"))},
                                            {Cell::Shared(S(u"Letters")), Cell::Shared(S(u"abc"))}}));
    ExpectOneBox(QMessageBox::Information, "information", Found(2));
    EXPECT_EQ(ListRows(), QList<QStringList>({{S(u"Ayşe Çağlar"), S(u"5321234567")}, {S(u"Ali Veli"), S(u"+90 (532) 123-45-67")}}));

    // A workbook saved by LibreOffice, with formulas, dates and a second sheet.
    Import(SheetFixture("libreoffice.xls"));
    ExpectOneBox(QMessageBox::Information, "information", Found(6));
    ASSERT_EQ(ListCount(), 6);
    EXPECT_EQ(ListRows().first(), QStringList({S(u"Ayşe Çağlar"), S(u"5321234567")}));
    EXPECT_EQ(ListRows().last(), QStringList({S(u"Zeynep Ş"), S(u"5551234567")}));
}

// Names up to the cell's cap, whose shared strings run across several
// records of the workbook.
TEST_F(BulkTabTest, AnXlsWithLongNamesIsImportedWhole)
{
    ASSERT_TRUE(StartOnBulkTab());
    Import(SheetFixture("sst-3000-rows.xls"));
    ExpectOneBox(QMessageBox::Information, "information", Found(3000));
    ASSERT_EQ(ListCount(), 3000);
    EXPECT_EQ(ListText(99, 0).size(), 10000);
    EXPECT_EQ(ListText(2998, 0).size(), 32767);
    EXPECT_EQ(ListRows().last(), QStringList({S(u"Kişi 3000"), S(u"05320003000")}));
}

TEST_F(BulkTabTest, TheListShowsNumbersWholeAndCutNamesInATip)
{
    ASSERT_TRUE(StartOnBulkTab());
    const QString name = S(u"Gülizar Şükriye Çağlayangil-Küçükosmanoğlu");
    ImportRows({{name, S(u"+90 (532) 123-45-678")}, {S(u"Ali"), S(u"+9053212345678901234")}});
    EXPECT_EQ(List()->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(ToolTipOver(List(), 0, 1), QString());
    EXPECT_EQ(ToolTipOver(List(), 1, 1), QString());
    EXPECT_EQ(ToolTipOver(List(), 0, 0), name);
    EXPECT_EQ(ToolTipOver(List(), 1, 0), QString());
}

TEST_F(BulkTabTest, ARefusedImportSaysWhyAndLeavesTheListAsItWas)
{
    ASSERT_TRUE(StartOnBulkTab());
    ImportRows({{S(u"Ali"), S(u"05321234567")}});
    Write(S(u"corrupt.xlsx"), "PK\x03\x04 this is no zip");
    Write(S(u"list.csv"), "Ali,05321234567\n");
    Write(S(u"noextension"), "x");
    const struct {
        QString path;
        const char *key;
    } cases[] = {
        {folder.filePath(S(u"corrupt.xlsx")), "couldnt_open_excel_file"},
        {SheetFixture("encrypted.xls"), "couldnt_open_excel_file"},
        {folder.filePath(S(u"list.csv")), "file_doesnt_have_a_supported_extension"},
        {folder.filePath(S(u"noextension")), "file_extension_is_missing"},
        {WriteWorkbook(S(u"one-column.xlsx"), {{Cell::Shared(S(u"Ali"))}, {Cell::Number(5321234567)}}),
         "excel_file_doesnt_have_enough_columns"},
    };
    for (const auto &c : cases) {
        Import(c.path);
        ExpectOneBox(QMessageBox::Warning, "warning", c.key);
        EXPECT_EQ(ListRows(), QList<QStringList>({{S(u"Ali"), S(u"05321234567")}})) << c.path.toStdString();
    }
    // Why a file could not be opened is in the error log.
    EXPECT_TRUE(ReadErrorLog().contains("btnImportFromExcel_Click"));
}

TEST_F(BulkTabTest, AnImportWithoutSuitableRowsEmptiesTheListAndACancelledOneDoesNothing)
{
    ASSERT_TRUE(StartOnBulkTab());
    ImportRows({{S(u"Ali"), S(u"05321234567")}});
    {
        FileDialogAnswer cancel([](QFileDialog &) { return false; });
        QTest::mouseClick(Find<QWidget>("btnImportFromExcel"), Qt::LeftButton);
    }
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_EQ(ListCount(), 1);

    Import(WriteWorkbook(S(u"headers.xlsx"), {{Cell::Shared(S(u"Name")), Cell::Shared(S(u"Phone"))}}));
    ExpectOneBox(QMessageBox::Information, "information", "no_suitable_records_found_in_excel_file");
    EXPECT_EQ(ListCount(), 0);
}

TEST_F(BulkTabTest, TheDialogOffersExcelFilesWhateverTheCaseOfTheirExtension)
{
    ASSERT_TRUE(StartOnBulkTab());
    const QString files = folder.filePath(S(u"sheets"));
    ASSERT_TRUE(QDir().mkpath(files));
    ASSERT_TRUE(QFile::copy(SheetFixture("libreoffice.xls"), QDir(files).filePath(S(u"list.XLS"))));
    ASSERT_TRUE(QFile::copy(SheetFixture("libreoffice.xlsx"), QDir(files).filePath(S(u"book.xlsx"))));
    Write(S(u"sheets/list.csv"), "Ali,05321234567\n");

    QStringList shown;
    QString title;
    QString filterText;
    FileDialogAnswer answer([&](QFileDialog &dialog) {
        title = dialog.windowTitle();
        filterText = dialog.findChild<QComboBox *>(S(u"fileTypeCombo"))->currentText();
        dialog.setDirectory(files);
        dialog.show();
        // The file system model fills in a thread of its own and hands its
        // rows over after it reports the folder loaded, so wait for the rows.
        auto *view = dialog.findChild<QListView *>(S(u"listView"));
        EXPECT_TRUE(QTest::qWaitFor([view] { return view->model()->rowCount(view->rootIndex()) >= 2; }, 10000));
        for (int i = 0; i < view->model()->rowCount(view->rootIndex()); ++i)
            shown << view->model()->index(i, 0, view->rootIndex()).data().toString();
        return Choose(dialog, S(u"list.XLS"));
    });
    QTest::mouseClick(Find<QWidget>("btnImportFromExcel"), Qt::LeftButton);

    EXPECT_EQ(title, S(u"Select An Excel File"));
    EXPECT_EQ(filterText, S(u"Microsoft Excel File (*.xls;*.xlsx)"));
    shown.sort();
    EXPECT_EQ(shown, QStringList({S(u"book.xlsx"), S(u"list.XLS")}));
    ExpectOneBox(QMessageBox::Information, "information", Found(6));
}

TEST_F(BulkTabTest, TheNameButtonAppendsThePlaceholderAndTheClearButtonEmptiesTheList)
{
    ASSERT_TRUE(StartOnBulkTab());
    TypeMessage(S(u"Merhaba "));
    QTest::mouseClick(Find<QWidget>("btnAddNameToSMS"), Qt::LeftButton);
    QTest::mouseClick(Find<QWidget>("btnAddNameToSMS"), Qt::LeftButton);
    EXPECT_EQ(Message()->toPlainText(), S(u"Merhaba [[N]][[N]]"));
    EXPECT_EQ(Message()->textCursor().position(), 18);
    EXPECT_EQ(window->focusWidget(), Message());
    EXPECT_EQ(Find<QLabel>("lblFreeCharacters")->text(), S(u"18/160"));
    QTest::keyClicks(Message(), S(u"!"));
    EXPECT_EQ(Message()->toPlainText(), S(u"Merhaba [[N]][[N]]!"));
    // What is pasted stays plain text.
    EXPECT_FALSE(Message()->acceptRichText());

    ImportRows({{S(u"Ali"), S(u"05321234567")}, {S(u"Veli"), S(u"05321234568")}});
    QTest::mouseClick(Find<QWidget>("btnClearBulkSMSList"), Qt::LeftButton);
    EXPECT_EQ(ListCount(), 0);
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(BulkTabTest, ASendQueuesOneBulkFilePerRowAndKeepsListAndMessage)
{
    ASSERT_TRUE(StartOnBulkTab());
    ImportRows({{S(u"Gülşen Doğan"), S(u"532 123 45 67")}, {S(u"Mehmet"), S(u"+90 (541) 765-43-21")}, {S(u"Mehmet"), S(u"+90 (541) 765-43-21")}});
    TypeMessage(S(u" Merhaba [[N]],\nhoş geldiniz "));
    Send();
    ExpectOneBox(QMessageBox::Information, "information", "sms_will_be_sent_to_all_contacts_in_the_list");

    const QStringList names = ListQueueFiles(Unsent());
    ASSERT_EQ(names.size(), 3);
    EXPECT_EQ(UnsentEntries(), names);
    QStringList texts;
    const QRegularExpression line(S(u"^\\[Bulk\\],([^,]*),\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d,(.*)\r\n$"));
    for (const QString &name : names) {
        EXPECT_TRUE(QRegularExpression(S(u"^\\d{12}[0-9A-F]{16}\\.dat$")).match(name).hasMatch()) << name.toStdString();
        QFile file(QDir(Unsent()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const auto match = line.match(platform::codepage::fromAnsi(bytes));
        ASSERT_TRUE(match.hasMatch()) << bytes.constData();
        texts << match.captured(1) + u'|' + match.captured(2);
        // One byte per character, in the code page.
        EXPECT_EQ(bytes.size(), platform::codepage::fromAnsi(bytes).size());
    }
    texts.sort();
    EXPECT_EQ(texts, QStringList({S(u"+905417654321| Merhaba Mehmet,|hoş geldiniz "), S(u"+905417654321| Merhaba Mehmet,|hoş geldiniz "),
                                  S(u"05321234567| Merhaba Gülşen Doğan,|hoş geldiniz ")}));
    EXPECT_EQ(ListCount(), 3);
    EXPECT_EQ(Message()->toPlainText(), S(u" Merhaba [[N]],\nhoş geldiniz "));
    EXPECT_TRUE(Find<QWidget>("btnSendSMS")->isEnabled());
}

TEST_F(BulkTabTest, AMessageThatCannotGoOutIsRefusedBeforeAnythingIsWritten)
{
    ASSERT_TRUE(StartOnBulkTab());
    // The two texts that the client's alerts share end without a full stop;
    // the console adds it as the client does.
    const struct {
        QString typed;
        bool withRows;
        const char *key;
        const char16_t *ending;
    } cases[] = {
        {QString(), true, "message_is_empty", u""},
        {S(u"   "), true, "message_is_empty", u""},
        {QString(161, u'a'), true, "message_is_too_long", u"."},
        {S(u"Hi [[N]] ") + QString(62, u'ş'), true, "message_is_too_long", u"."},
        {S(u"Привет"), true, "message_has_unsupported_characters", u"."},
        {S(u"Merhaba"), false, "bulk_sms_list_is_empty", u""},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(!QDir(Unsent()).exists() || QDir(Unsent()).removeRecursively());
        window->bulk->btnClearBulkSMSList_Click();
        if (c.withRows)
            ImportRows({{S(u"Ali"), S(u"05321234567")}});
        TypeMessage(c.typed);
        Send();
        ExpectOneBox(QMessageBox::Warning, "information", common::LanguageText(QLatin1String(c.key)) + S(c.ending));
        // The folder is made sure of before the checks.
        EXPECT_TRUE(QDir(Unsent()).exists());
        EXPECT_EQ(UnsentEntries(), QStringList()) << c.key;
    }
    TypeMessage(S(u"   "));
    EXPECT_EQ(Find<QLabel>("lblFreeCharacters")->text(), S(u"3/160"));
}

// A white counter means the send takes the text, a red one that it refuses
// it as too long; the limit is that of the coding the text goes out in.
TEST_F(BulkTabTest, TheCounterAndTheSendAgree)
{
    ASSERT_TRUE(StartOnBulkTab());
    const QColor white(255, 255, 255);
    const QColor red(192, 0, 0);
    const struct {
        QString typed;
        const char16_t *counter;
        bool fits;
    } cases[] = {
        {S(u"Merhaba `dünya`"), u"15/70", true},
        {S(u"a`") + QString(68, u'b'), u"70/70", true},
        {S(u"a`") + QString(69, u'b'), u"71/70", false},
        {S(u"tab\there") + QString(62, u'c'), u"70/70", true},
        {S(u"tab\there") + QString(63, u'c'), u"71/70", false},
        {S(u"€") + QString(69, u'a'), u"70/70", true},
        {S(u"€") + QString(159, u'a'), u"160/70", false},
        {QString(80, u'{'), u"80/160", true},
        {QString(81, u'{'), u"81/160", false},
        {S(u"Çağrı ") + QString(64, u'ş'), u"70/70", true},
        {S(u"Çağrı ") + QString(65, u'ş'), u"71/70", false},
        {QString(160, u'a'), u"160/160", true},
        {QString(161, u'a'), u"161/160", false},
        {QString(70, u'x') + u'\n' + QString(89, u'y'), u"160/160", true},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(!QDir(Unsent()).exists() || QDir(Unsent()).removeRecursively());
        ImportRows({{S(u"Ali"), S(u"05321234567")}});
        TypeMessage(c.typed);
        auto *counter = Find<QLabel>("lblFreeCharacters");
        EXPECT_EQ(counter->text(), S(c.counter)) << c.typed.toStdString();
        EXPECT_EQ(counter->palette().color(QPalette::WindowText), c.fits ? white : red) << c.typed.toStdString();
        Send();
        if (c.fits) {
            ExpectOneBox(QMessageBox::Information, "information", "sms_will_be_sent_to_all_contacts_in_the_list");
            EXPECT_EQ(UnsentEntries().size(), 1) << c.typed.toStdString();
        } else {
            ExpectOneBox(QMessageBox::Warning, "information", common::LanguageText(S(u"message_is_too_long")) + u'.');
            EXPECT_EQ(UnsentEntries(), QStringList()) << c.typed.toStdString();
        }
    }
}

TEST_F(BulkTabTest, ARowThatCannotGoOutIsSelectedAndShownAndNothingIsWritten)
{
    ASSERT_TRUE(StartOnBulkTab());
    const struct {
        const char16_t *name;
        const char16_t *number;
        const char *key;
        const char16_t *ending;
    } cases[] = {
        {u"Ali", u"+90 532 123 45 67 890 123 45", "phonenumber_is_too_long", u""},
        {u"Борис", u"05321234567", "message_has_unsupported_characters", u"."},
        // The name turns the text into UCS2, where 70 characters fit.
        {u"Şule", u"05321234567", "message_is_too_long", u"."},
    };
    for (const auto &c : cases) {
        std::vector<std::pair<QString, QString>> rows;
        for (int i = 0; i < 60; ++i)
            rows.emplace_back(S(u"Kisi %1").arg(i), S(u"0532000%1").arg(i, 4, 10, QLatin1Char('0')));
        rows[45] = {S(c.name), S(c.number)};
        ImportRows(rows);
        TypeMessage(S(u"[[N]] ") + QString(66, u'a'));
        List()->scrollToTop();
        Send();
        ExpectOneBox(QMessageBox::Warning, "information", common::LanguageText(QLatin1String(c.key)) + S(c.ending));
        const QModelIndex refused = List()->model()->index(45, 0);
        EXPECT_EQ(CurrentRow(), 45) << c.key;
        EXPECT_TRUE(List()->selectionModel()->isRowSelected(45));
        EXPECT_TRUE(List()->viewport()->rect().contains(List()->visualRect(refused))) << c.key;
        EXPECT_EQ(UnsentEntries(), QStringList()) << c.key;
    }
}

TEST_F(BulkTabTest, AnUnsentFolderThatCannotBeMadeIsReported)
{
    ASSERT_TRUE(StartOnBulkTab());
    ImportRows({{S(u"Ali"), S(u"05321234567")}});
    ASSERT_TRUE(QDir(Unsent()).removeRecursively());
    Write(S(u"Unsent"), "a file where the folder should be");
    TypeMessage(S(u"Merhaba"));
    Send();
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(ErrorBoxes(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.contains(S(u"Unsent"))) << boxes.boxes[0].text.toStdString();
    EXPECT_TRUE(ReadErrorLog().contains("btnSendSMS_Click"));
}

TEST_F(BulkTabTest, AFileThatCannotBeWrittenQueuesNoRowAndSaysSo)
{
    ASSERT_TRUE(StartOnBulkTab());
    ImportRows({{S(u"Ali"), S(u"05321234567")}, {S(u"Veli"), S(u"05321234568")}});
    TypeMessage(S(u"Merhaba [[N]]"));
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit tiny = previous;
    tiny.rlim_cur = 1;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    Send();
    ::setrlimit(RLIMIT_FSIZE, &previous);

    ASSERT_EQ(ErrorBoxes(), 1);
    EXPECT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.contains(S(u"No message was queued; row 1 (Ali, 05321234567)"))) << boxes.boxes[0].text.toStdString();
    EXPECT_EQ(CurrentRow(), 0);
    EXPECT_EQ(UnsentEntries(), QStringList());
    EXPECT_TRUE(Find<QWidget>("btnSendSMS")->isEnabled());
}

TEST_F(BulkTabTest, ARenameThatFailsPartWayReportsTheRowsQueuedAndTheRowThatFailed)
{
    ASSERT_TRUE(StartOnBulkTab());
    std::vector<std::pair<QString, QString>> rows;
    for (int i = 0; i < 40; ++i)
        rows.emplace_back(S(u"Kişi %1").arg(i + 1), S(u"0532000%1").arg(i + 1, 4, 10, QLatin1Char('0')));
    ImportRows(rows);
    TypeMessage(S(u"Merhaba [[N]]"));

    // Runs whenever the window keeps drawing during the send: the first
    // time after the files were written aside, the second after 32 of them
    // were renamed in, when the next one vanishes.
    QList<bool> sendEnabled;
    QTimer during;
    QObject::connect(&during, &QTimer::timeout, [&] {
        sendEnabled << Find<QWidget>("btnSendSMS")->isEnabled();
        if (ListQueueFiles(Unsent()).size() != 32)
            return;
        QStringList aside = UnsentEntries().filter(QRegularExpression(S(u"\\.tmp$")));
        if (aside.size() != 8)
            return;
        std::sort(aside.begin(), aside.end(), [](const QString &a, const QString &b) {
            return a.section(u'-', 1).section(u'.', 0, 0).toInt() < b.section(u'-', 1).section(u'.', 0, 0).toInt();
        });
        QFile::remove(QDir(Unsent()).filePath(aside.first()));
    });
    during.start(0);
    Send();
    during.stop();

    ASSERT_FALSE(sendEnabled.isEmpty());
    EXPECT_FALSE(sendEnabled.contains(true));
    ASSERT_EQ(ErrorBoxes(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.contains(S(u"32 of 40 messages were queued, for the rows before row 33 (Kişi 33, 05320000033)")))
        << boxes.boxes[0].text.toStdString();
    EXPECT_EQ(CurrentRow(), 32);
    EXPECT_EQ(UnsentEntries(), ListQueueFiles(Unsent()));
    EXPECT_EQ(UnsentEntries().size(), 32);
}

} // namespace
