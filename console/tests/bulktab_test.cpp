// The bulk tab on the real window: importing the list from spreadsheets,
// the message field and its buttons, and the send into Unsent.
#include "bulktest.h"

#include "platform/codepage.h"

#include <QComboBox>
#include <QListView>
#include <QRegularExpression>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>

namespace {

using xlsxwriter::Cell;

QString S(const char *text)
{
    return QString::fromUtf8(text);
}

QString Fixture(const char *name)
{
    return QDir(QStringLiteral(SHEETS_FIXTURES)).filePath(QLatin1String(name));
}

QString Found(qsizetype count)
{
    return common::LanguageText(S("x_suitable_records_found_in_excel_file")).replace(S("%1"), QString::number(count));
}

TEST_F(BulkTabTest, AnImportTakesTheRowsWhoseNumberLooksLikeOneAndTheNextReplacesThem)
{
    ASSERT_TRUE(StartOnBulkTab());
    Import(WriteWorkbook(S("people.xlsx"), {{Cell::Shared(S("Name")), Cell::Shared(S("Phone"))},
                                            {Cell::Shared(S("Ayşe Çağlar")), Cell::Number(5321234567)},
                                            {Cell::Shared(S("Ali Veli")), Cell::Shared(S("+90 (532) 123-45-67"))},
                                            {Cell::Shared(S("Letters")), Cell::Shared(S("abc"))}}));
    ExpectOneBox(QMessageBox::Information, "information", Found(2));
    EXPECT_EQ(ListRows(), QList<QStringList>({{S("Ayşe Çağlar"), S("5321234567")}, {S("Ali Veli"), S("+90 (532) 123-45-67")}}));

    // A workbook saved by LibreOffice, with formulas, dates and a second sheet.
    Import(Fixture("libreoffice.xls"));
    ExpectOneBox(QMessageBox::Information, "information", Found(6));
    ASSERT_EQ(List()->topLevelItemCount(), 6);
    EXPECT_EQ(ListRows().first(), QStringList({S("Ayşe Çağlar"), S("5321234567")}));
    EXPECT_EQ(ListRows().last(), QStringList({S("Zeynep Ş"), S("5551234567")}));
}

TEST_F(BulkTabTest, ARefusedImportSaysWhyAndLeavesTheListAsItWas)
{
    ASSERT_TRUE(StartOnBulkTab());
    ImportRows({{S("Ali"), S("05321234567")}});
    Write(S("corrupt.xlsx"), "PK\x03\x04 this is no zip");
    Write(S("list.csv"), "Ali,05321234567\n");
    Write(S("noextension"), "x");
    const struct {
        QString path;
        const char *key;
    } cases[] = {
        {folder.filePath(S("corrupt.xlsx")), "couldnt_open_excel_file"},
        {Fixture("encrypted.xls"), "couldnt_open_excel_file"},
        {folder.filePath(S("list.csv")), "file_doesnt_have_a_supported_extension"},
        {folder.filePath(S("noextension")), "file_extension_is_missing"},
        {WriteWorkbook(S("one-column.xlsx"), {{Cell::Shared(S("Ali"))}, {Cell::Number(5321234567)}}),
         "excel_file_doesnt_have_enough_columns"},
    };
    for (const auto &c : cases) {
        Import(c.path);
        ExpectOneBox(QMessageBox::Warning, "warning", c.key);
        EXPECT_EQ(ListRows(), QList<QStringList>({{S("Ali"), S("05321234567")}})) << c.path.toStdString();
    }
    // Why a file could not be opened is in the error log.
    EXPECT_TRUE(ErrorLog().contains("btnImportFromExcel_Click"));
}

TEST_F(BulkTabTest, AnImportWithoutSuitableRowsEmptiesTheListAndACancelledOneDoesNothing)
{
    ASSERT_TRUE(StartOnBulkTab());
    ImportRows({{S("Ali"), S("05321234567")}});
    {
        FileDialogAnswer cancel([](QFileDialog &) { return false; });
        QTest::mouseClick(Find<QWidget>("btnImportFromExcel"), Qt::LeftButton);
    }
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_EQ(List()->topLevelItemCount(), 1);

    Import(WriteWorkbook(S("headers.xlsx"), {{Cell::Shared(S("Name")), Cell::Shared(S("Phone"))}}));
    ExpectOneBox(QMessageBox::Information, "information", "no_suitable_records_found_in_excel_file");
    EXPECT_EQ(List()->topLevelItemCount(), 0);
}

TEST_F(BulkTabTest, TheDialogOffersExcelFilesWhateverTheCaseOfTheirExtension)
{
    ASSERT_TRUE(StartOnBulkTab());
    const QString files = folder.filePath(S("sheets"));
    ASSERT_TRUE(QDir().mkpath(files));
    ASSERT_TRUE(QFile::copy(Fixture("libreoffice.xls"), QDir(files).filePath(S("list.XLS"))));
    ASSERT_TRUE(QFile::copy(Fixture("libreoffice.xlsx"), QDir(files).filePath(S("book.xlsx"))));
    Write(S("sheets/list.csv"), "Ali,05321234567\n");

    QStringList shown;
    QString title;
    QString filterText;
    FileDialogAnswer answer([&](QFileDialog &dialog) {
        title = dialog.windowTitle();
        filterText = dialog.findChild<QComboBox *>(S("fileTypeCombo"))->currentText();
        dialog.setDirectory(files);
        dialog.show();
        // The file system model fills in a thread of its own and hands its
        // rows over after it reports the folder loaded, so wait for the rows.
        auto *view = dialog.findChild<QListView *>(S("listView"));
        EXPECT_TRUE(QTest::qWaitFor([view] { return view->model()->rowCount(view->rootIndex()) >= 2; }, 10000));
        for (int i = 0; i < view->model()->rowCount(view->rootIndex()); ++i)
            shown << view->model()->index(i, 0, view->rootIndex()).data().toString();
        return Choose(dialog, S("list.XLS"));
    });
    QTest::mouseClick(Find<QWidget>("btnImportFromExcel"), Qt::LeftButton);

    EXPECT_EQ(title, S("Select An Excel File"));
    EXPECT_EQ(filterText, S("Microsoft Excel File (*.xls;*.xlsx)"));
    shown.sort();
    EXPECT_EQ(shown, QStringList({S("book.xlsx"), S("list.XLS")}));
    ExpectOneBox(QMessageBox::Information, "information", Found(6));
}

TEST_F(BulkTabTest, TheNameButtonAppendsThePlaceholderAndTheClearButtonEmptiesTheList)
{
    ASSERT_TRUE(StartOnBulkTab());
    TypeMessage(S("Merhaba "));
    QTest::mouseClick(Find<QWidget>("btnAddNameToSMS"), Qt::LeftButton);
    QTest::mouseClick(Find<QWidget>("btnAddNameToSMS"), Qt::LeftButton);
    EXPECT_EQ(Message()->toPlainText(), S("Merhaba [[N]][[N]]"));
    EXPECT_EQ(Message()->textCursor().position(), 18);
    EXPECT_EQ(window->focusWidget(), Message());
    EXPECT_EQ(Find<QLabel>("lblFreeCharacters")->text(), S("18/160"));
    QTest::keyClicks(Message(), S("!"));
    EXPECT_EQ(Message()->toPlainText(), S("Merhaba [[N]][[N]]!"));
    // What is pasted stays plain text.
    EXPECT_FALSE(Message()->acceptRichText());

    ImportRows({{S("Ali"), S("05321234567")}, {S("Veli"), S("05321234568")}});
    QTest::mouseClick(Find<QWidget>("btnClearBulkSMSList"), Qt::LeftButton);
    EXPECT_EQ(List()->topLevelItemCount(), 0);
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(BulkTabTest, ASendQueuesOneBulkFilePerRowAndKeepsListAndMessage)
{
    ASSERT_TRUE(StartOnBulkTab());
    ImportRows({{S("Gülşen Doğan"), S("532 123 45 67")}, {S("Mehmet"), S("+90 (541) 765-43-21")}, {S("Mehmet"), S("+90 (541) 765-43-21")}});
    TypeMessage(S(" Merhaba [[N]],\nhoş geldiniz "));
    Send();
    ExpectOneBox(QMessageBox::Information, "information", "sms_will_be_sent_to_all_contacts_in_the_list");

    const QStringList names = ListQueueFiles(Unsent());
    ASSERT_EQ(names.size(), 3);
    EXPECT_EQ(UnsentEntries(), names);
    QStringList texts;
    const QRegularExpression line(S("^\\[Bulk\\],([^,]*),\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d,(.*)\r\n$"));
    for (const QString &name : names) {
        EXPECT_TRUE(QRegularExpression(S("^\\d{12}[0-9A-F]{16}\\.dat$")).match(name).hasMatch()) << name.toStdString();
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
    EXPECT_EQ(texts, QStringList({S("+905417654321| Merhaba Mehmet,|hoş geldiniz "), S("+905417654321| Merhaba Mehmet,|hoş geldiniz "),
                                  S("05321234567| Merhaba Gülşen Doğan,|hoş geldiniz ")}));
    EXPECT_EQ(List()->topLevelItemCount(), 3);
    EXPECT_EQ(Message()->toPlainText(), S(" Merhaba [[N]],\nhoş geldiniz "));
    EXPECT_TRUE(Find<QWidget>("btnSendSMS")->isEnabled());
}

TEST_F(BulkTabTest, AMessageThatCannotGoOutIsRefusedBeforeAnythingIsWritten)
{
    ASSERT_TRUE(StartOnBulkTab());
    const struct {
        QString typed;
        bool withRows;
        const char *key;
    } cases[] = {
        {QString(), true, "message_is_empty"},
        {S("   "), true, "message_is_empty"},
        {QString(161, u'a'), true, "message_is_too_long"},
        {S("Hi [[N]] ") + QString(62, u'ş'), true, "message_is_too_long"},
        {S("Привет"), true, "message_has_unsupported_characters"},
        {S("Merhaba"), false, "bulk_sms_list_is_empty"},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(!QDir(Unsent()).exists() || QDir(Unsent()).removeRecursively());
        List()->clear();
        if (c.withRows)
            ImportRows({{S("Ali"), S("05321234567")}});
        TypeMessage(c.typed);
        Send();
        ExpectOneBox(QMessageBox::Warning, "information", c.key);
        // The folder is made sure of before the checks.
        EXPECT_TRUE(QDir(Unsent()).exists());
        EXPECT_EQ(UnsentEntries(), QStringList()) << c.key;
    }
    TypeMessage(S("   "));
    EXPECT_EQ(Find<QLabel>("lblFreeCharacters")->text(), S("3/160"));
}

TEST_F(BulkTabTest, ARowThatCannotGoOutIsSelectedAndShownAndNothingIsWritten)
{
    ASSERT_TRUE(StartOnBulkTab());
    const struct {
        const char *name;
        const char *number;
        const char *key;
    } cases[] = {
        {"Ali", "+90 532 123 45 67 890 123 45", "phonenumber_is_too_long"},
        {"Борис", "05321234567", "message_has_unsupported_characters"},
        // The name turns the text into UCS2, where 70 characters fit.
        {"Şule", "05321234567", "message_is_too_long"},
    };
    for (const auto &c : cases) {
        std::vector<std::pair<QString, QString>> rows;
        for (int i = 0; i < 60; ++i)
            rows.emplace_back(S("Kisi %1").arg(i), S("0532000%1").arg(i, 4, 10, QLatin1Char('0')));
        rows[45] = {S(c.name), S(c.number)};
        ImportRows(rows);
        TypeMessage(S("[[N]] ") + QString(66, u'a'));
        List()->scrollToTop();
        Send();
        ExpectOneBox(QMessageBox::Warning, "information", c.key);
        QTreeWidgetItem *refused = List()->topLevelItem(45);
        EXPECT_EQ(List()->currentItem(), refused) << c.key;
        EXPECT_TRUE(refused->isSelected());
        EXPECT_TRUE(List()->viewport()->rect().contains(List()->visualItemRect(refused))) << c.key;
        EXPECT_EQ(UnsentEntries(), QStringList()) << c.key;
    }
}

TEST_F(BulkTabTest, AnUnsentFolderThatCannotBeMadeIsReported)
{
    ASSERT_TRUE(StartOnBulkTab());
    ImportRows({{S("Ali"), S("05321234567")}});
    ASSERT_TRUE(QDir(Unsent()).removeRecursively());
    Write(S("Unsent"), "a file where the folder should be");
    TypeMessage(S("Merhaba"));
    Send();
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(ErrorBoxes(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.contains(S("Unsent"))) << boxes.boxes[0].text.toStdString();
    EXPECT_TRUE(ErrorLog().contains("btnSendSMS_Click"));
}

TEST_F(BulkTabTest, AFileThatCannotBeWrittenQueuesNoRowAndSaysSo)
{
    ASSERT_TRUE(StartOnBulkTab());
    ImportRows({{S("Ali"), S("05321234567")}, {S("Veli"), S("05321234568")}});
    TypeMessage(S("Merhaba [[N]]"));
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
    EXPECT_TRUE(boxes.boxes[0].text.contains(S("No message was queued; row 1 (Ali, 05321234567)"))) << boxes.boxes[0].text.toStdString();
    EXPECT_EQ(List()->currentItem(), List()->topLevelItem(0));
    EXPECT_EQ(UnsentEntries(), QStringList());
    EXPECT_TRUE(Find<QWidget>("btnSendSMS")->isEnabled());
}

TEST_F(BulkTabTest, ARenameThatFailsPartWayReportsTheRowsQueuedAndTheRowThatFailed)
{
    ASSERT_TRUE(StartOnBulkTab());
    std::vector<std::pair<QString, QString>> rows;
    for (int i = 0; i < 40; ++i)
        rows.emplace_back(S("Kişi %1").arg(i + 1), S("0532000%1").arg(i + 1, 4, 10, QLatin1Char('0')));
    ImportRows(rows);
    TypeMessage(S("Merhaba [[N]]"));

    // Runs whenever the window keeps drawing during the send: the first
    // time after the files were written aside, the second after 32 of them
    // were renamed in, when the next one vanishes.
    QList<bool> sendEnabled;
    QTimer during;
    QObject::connect(&during, &QTimer::timeout, [&] {
        sendEnabled << Find<QWidget>("btnSendSMS")->isEnabled();
        if (ListQueueFiles(Unsent()).size() != 32)
            return;
        QStringList aside = UnsentEntries().filter(QRegularExpression(S("\\.tmp$")));
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
    EXPECT_TRUE(boxes.boxes[0].text.contains(S("32 of 40 messages were queued, for the rows before row 33 (Kişi 33, 05320000033)")))
        << boxes.boxes[0].text.toStdString();
    EXPECT_EQ(List()->currentItem(), List()->topLevelItem(32));
    EXPECT_EQ(UnsentEntries(), ListQueueFiles(Unsent()));
    EXPECT_EQ(UnsentEntries().size(), 32);
}

} // namespace
