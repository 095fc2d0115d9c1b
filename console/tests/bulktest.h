#pragma once

#include "consoletest.h"

#include "filedialog.h"
#include "files.h"
#include "platform/folders.h"
#include "store/queuefiles.h"
#include "tabbulk.h"
#include "text.h"
#include "xlsxwriter.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QLabel>
#include <QLineEdit>
#include <QTextEdit>
#include <QTreeView>

#include <utility>
#include <vector>

// Answers every file dialog while it lives with `answer`.
class FileDialogAnswer {
public:
    explicit FileDialogAnswer(FileDialogHandler answer) : m_previous(SetFileDialogHandler(std::move(answer))) {}
    ~FileDialogAnswer() { SetFileDialogHandler(m_previous); }
    FileDialogAnswer(const FileDialogAnswer &) = delete;
    FileDialogAnswer &operator=(const FileDialogAnswer &) = delete;

private:
    FileDialogHandler m_previous;
};

// The console on its bulk tab, with files to import made in the program
// folder.
class BulkTabTest : public ConsoleTest {
protected:
    bool StartOnBulkTab()
    {
        if (!Start())
            return false;
        window->optTab_Click(3);
        return true;
    }

    // Writes rows (column A, column B) as the first sheet of an .xlsx file.
    QString WriteWorkbook(const QString &name, const std::vector<xlsxwriter::Row> &rows) const
    {
        const QString path = folder.filePath(name);
        EXPECT_TRUE(xlsxwriter::SaveWorkbook(path, {{QStringLiteral("Sheet1"), rows}}));
        return path;
    }

    // The user picks `path` in the file dialog: the path in its file name
    // box, then its Open button.
    static bool Choose(QFileDialog &dialog, const QString &path)
    {
        dialog.setResult(QDialog::Rejected);
        dialog.show();
        dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
        auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
        return dialog.result() == QDialog::Accepted;
    }

    // The user imports the file `path`.
    void Import(const QString &path)
    {
        FileDialogAnswer answer([&path](QFileDialog &dialog) { return Choose(dialog, path); });
        QTest::mouseClick(Find<QWidget>("btnImportFromExcel"), Qt::LeftButton);
    }

    // Imports rows of text (name, number) and forgets the import's box.
    void ImportRows(const std::vector<std::pair<QString, QString>> &rows)
    {
        std::vector<xlsxwriter::Row> sheet;
        for (const auto &[name, number] : rows)
            sheet.push_back({xlsxwriter::Cell::Shared(name), xlsxwriter::Cell::Shared(number)});
        Import(WriteWorkbook(QStringLiteral("rows.xlsx"), sheet));
        ASSERT_EQ(ListCount(), static_cast<int>(rows.size()));
        boxes.boxes.clear();
    }

    // Types `text` into the message field key by key; a line feed is the
    // Return key.
    void TypeMessage(const QString &text)
    {
        Message()->clear();
        for (const QChar c : text) {
            if (c == u'\n')
                QTest::keyClick(Message(), Qt::Key_Return);
            else if (c.unicode() < 0x80)
                QTest::keyClick(Message(), c.toLatin1());
            else
                QTest::sendKeyEvent(QTest::Click, Message(), Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }

    void Send() { QTest::mouseClick(Find<QWidget>("btnSendSMS"), Qt::LeftButton); }

    QTreeView *List() const { return Find<QTreeView>("lsvBulkSMSList"); }
    int ListCount() const { return List()->model()->rowCount(); }
    // The text of `column` (0 the name, 1 the number) of the list's row `row`.
    QString ListText(int row, int column) const { return List()->model()->index(row, column).data().toString(); }
    int CurrentRow() const { return List()->currentIndex().row(); }
    QTextEdit *Message() const { return Find<QTextEdit>("txtSMSMessage"); }

    QList<QStringList> ListRows() const
    {
        QList<QStringList> rows;
        for (int i = 0; i < ListCount(); ++i)
            rows.append({ListText(i, 0), ListText(i, 1)});
        return rows;
    }

    QString Unsent() const { return QueueFolder(folder.path(), UnsentFolder); }
    // Every entry of Unsent, hidden ones too.
    QStringList UnsentEntries() const { return Entries(Unsent()); }

    // The one box shown since the last call, as "icon|title|text".
    void ExpectOneBox(QMessageBox::Icon icon, const char *titleKey, const QString &text)
    {
        ASSERT_EQ(boxes.boxes.size(), 1) << (boxes.boxes.isEmpty() ? "" : boxes.boxes.last().text.toStdString());
        EXPECT_EQ(boxes.boxes[0].icon, icon);
        EXPECT_EQ(boxes.boxes[0].title, common::LanguageText(QLatin1String(titleKey)));
        EXPECT_EQ(boxes.boxes[0].text, text);
        boxes.boxes.clear();
    }
    void ExpectOneBox(QMessageBox::Icon icon, const char *titleKey, const char *textKey)
    {
        ExpectOneBox(icon, titleKey, common::LanguageText(QLatin1String(textKey)));
    }
};
