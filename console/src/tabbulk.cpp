#include "tabbulk.h"

#include "bulkmessages.h"
#include "contactlists.h"
#include "controls.h"
#include "filedialog.h"
#include "frmmain.h"

#include "common/errorlog.h"
#include "common/language.h"
#include "gui/arbutton.h"
#include "gui/msgbox.h"
#include "platform/error.h"
#include "sheets/spreadsheetimport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QRandomGenerator>
#include <QTextEdit>
#include <QTreeView>

#include <filesystem>
#include <system_error>

namespace {

const QString Module = QStringLiteral("frmMain");

void SetTextColour(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

// Reports `description` through the error logger, as an error of `procedure`.
void ReportError(int number, const QString &description, const QString &procedure)
{
    try {
        throw platform::Error(number, description);
    } catch (...) {
        common::LogError(Module, procedure);
    }
}

// A refusal of the send. The texts of the message's two refusals are shared
// with the client's alerts and end without a full stop, which both programs
// add; the others have their own.
void RefuseSend(const QString &key)
{
    QString text = common::LanguageText(key);
    if (key == u"message_is_too_long" || key == u"message_has_unsupported_characters")
        text += u'.';
    gui::MsgBoxText(text, gui::vbExclamation, common::LanguageText(QStringLiteral("information")));
}

} // namespace

int BulkListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int BulkListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant BulkListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows.size())
        return {};
    const sheets::BulkRow &row = m_rows[index.row()];
    return index.column() == 0 ? row.name : row.number;
}

QVariant BulkListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 1)
        return {};
    return m_headers[section];
}

bool BulkListModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::EditRole) || section < 0 || section > 1)
        return false;
    m_headers[section] = value.toString();
    Q_EMIT headerDataChanged(orientation, section, section);
    return true;
}

void BulkListModel::SetRows(QList<sheets::BulkRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

BulkTab::BulkTab(frmMain &owner) : QFrame(&owner), m_owner(owner), m_list(new BulkListModel(this))
{
    lblBulkSMSList = Place<QLabel>(this, "lblBulkSMSList", 10, 8, 260, 16);
    lsvBulkSMSList = Place<QTreeView>(this, "lsvBulkSMSList", 10, 26, 260, 226);
    lsvBulkSMSList->setModel(m_list);
    lsvBulkSMSList->setRootIsDecorated(false);
    lsvBulkSMSList->setUniformRowHeights(true);
    lsvBulkSMSList->setItemsExpandable(false);
    SizeNumberListColumns(lsvBulkSMSList);
    btnImportFromExcel = Place<gui::ARButton>(this, "btnImportFromExcel", 10, 258, 127, 30);
    btnClearBulkSMSList = Place<gui::ARButton>(this, "btnClearBulkSMSList", 143, 258, 127, 30);

    lblSMSMessage = Place<QLabel>(this, "lblSMSMessage", 285, 8, 266, 16);
    txtSMSMessage = Place<QTextEdit>(this, "txtSMSMessage", 285, 26, 266, 200);
    txtSMSMessage->setAcceptRichText(false);
    lblFreeCharacters = Place<QLabel>(this, "lblFreeCharacters", 285, 230, 266, 18);
    lblFreeCharacters->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblFreeCharacters->setText(QStringLiteral("0/0"));
    SetTextColour(lblFreeCharacters, Qt::white);
    btnAddNameToSMS = Place<gui::ARButton>(this, "btnAddNameToSMS", 285, 258, 130, 30);
    btnSendSMS = Place<gui::ARButton>(this, "btnSendSMS", 421, 258, 130, 30);

    connect(txtSMSMessage, &QTextEdit::textChanged, this, &BulkTab::txtSMSMessage_Change);
    connect(btnAddNameToSMS, &gui::ARButton::clicked, this, &BulkTab::btnAddNameToSMS_Click);
    connect(btnClearBulkSMSList, &gui::ARButton::clicked, this, &BulkTab::btnClearBulkSMSList_Click);
    connect(btnSendSMS, &gui::ARButton::clicked, this, &BulkTab::btnSendSMS_Click);
    connect(btnImportFromExcel, &gui::ARButton::clicked, this, &BulkTab::btnImportFromExcel_Click);
}

void BulkTab::txtSMSMessage_Change()
{
    const MessageCount count = CountMessage(txtSMSMessage->toPlainText());
    lblFreeCharacters->setText(QString::number(count.length) + QLatin1Char('/') + QString::number(count.limit));
    SetTextColour(lblFreeCharacters, count.fits ? QColor(255, 255, 255) : QColor(192, 0, 0));
}

void BulkTab::btnAddNameToSMS_Click()
{
    QTextCursor cursor = txtSMSMessage->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(NamePlaceholder.toString());
    txtSMSMessage->setTextCursor(cursor);
    txtSMSMessage->setFocus();
}

void BulkTab::btnClearBulkSMSList_Click()
{
    m_list->SetRows({});
}

QList<sheets::BulkRow> BulkTab::BulkRows() const
{
    return m_list->rows();
}

void BulkTab::btnSendSMS_Click()
{
    if (!MakeSureOfUnsent())
        return;
    const QString typed = txtSMSMessage->toPlainText();
    if (const QString refusal = MessageRefusal(typed); !refusal.isEmpty()) {
        RefuseSend(refusal);
        return;
    }
    if (m_list->rows().isEmpty()) {
        RefuseSend(QStringLiteral("bulk_sms_list_is_empty"));
        return;
    }
    // Every row is checked before anything is written: a row that cannot go
    // out as written stops the whole send.
    const PreparedBulk prepared = PrepareBulkLines(typed, BulkRows());
    if (prepared.refusedRow >= 0) {
        SelectRow(prepared.refusedRow);
        RefuseSend(prepared.refusalKey);
        return;
    }
    QueueRows(prepared.lines);
}

bool BulkTab::MakeSureOfUnsent()
{
    const std::filesystem::path unsent(QFile::encodeName(QueueFolder(m_owner.state().programFolder, UnsentFolder)).toStdString());
    std::error_code error;
    if (std::filesystem::is_directory(unsent, error) || std::filesystem::create_directory(unsent, error))
        return true;
    ReportError(platform::ErrPathNotFound,
                QStringLiteral("Cannot create the folder %1: %2")
                    .arg(QFile::decodeName(unsent.c_str()), QString::fromLocal8Bit(error.message())),
                QStringLiteral("btnSendSMS_Click"));
    return false;
}

void BulkTab::SelectRow(qsizetype row)
{
    const QModelIndex index = m_list->index(static_cast<int>(row), 0);
    lsvBulkSMSList->setCurrentIndex(index);
    lsvBulkSMSList->scrollTo(index);
}

void BulkTab::QueueRows(const QStringList &lines)
{
    // The window keeps drawing while the files are written; the tab takes
    // no clicks meanwhile, so the list and the text stay as they were read
    // and the send is not started twice.
    setEnabled(false);
    const BulkQueueOutcome outcome = QueueBulkLines(m_owner.state().programFolder, lines, *QRandomGenerator::global(),
                                                    [] { QCoreApplication::processEvents(); });
    QCoreApplication::processEvents();
    setEnabled(true);

    if (outcome.failedLine < 0) {
        gui::MsgBox(QStringLiteral("sms_will_be_sent_to_all_contacts_in_the_list"), gui::vbInformation, QStringLiteral("information"));
        return;
    }
    SelectRow(outcome.failedLine);
    const sheets::BulkRow &failed = m_list->rows()[outcome.failedLine];
    const QString row = QStringLiteral("row %1 (%2, %3)").arg(outcome.failedLine + 1).arg(failed.name, failed.number);
    const QString description = outcome.queued == 0
        ? QStringLiteral("No message was queued; %1 could not be written: %2").arg(row, outcome.error)
        : QStringLiteral("%1 of %2 messages were queued, for the rows before %3; it and the rows after it were not: %4")
              .arg(outcome.queued)
              .arg(lines.size())
              .arg(row, outcome.error);
    ReportError(outcome.errorNumber, description, QStringLiteral("btnSendSMS_Click"));
}

void BulkTab::btnImportFromExcel_Click()
{
    // A new dialog each time, in the folder of the last import: a dialog
    // used before keeps its old selection beside the file chosen now.
    // Qt separates the patterns of a filter with blanks; the designed
    // description is shown as it is and its patterns come after it.
    QFileDialog cdlgFile(this, QStringLiteral("Select An Excel File"), m_importFolder,
                         QStringLiteral("Microsoft Excel File (*.xls;*.xlsx) (*.xls *.xlsx)"));
    cdlgFile.setObjectName(QStringLiteral("cdlgFile"));
    cdlgFile.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    cdlgFile.setAcceptMode(QFileDialog::AcceptOpen);
    cdlgFile.setFileMode(QFileDialog::ExistingFile);
    if (!ShowFileDialog(cdlgFile))
        return;
    const QString path = cdlgFile.selectedFiles().value(0);
    m_importFolder = QFileInfo(path).absolutePath();
    sheets::ImportResult result = sheets::ImportSpreadsheet(path);
    if (result.refused) {
        if (!result.reason.isEmpty())
            common::LogNote(Module, QStringLiteral("btnImportFromExcel_Click"), result.reason);
        gui::MsgBox(result.messageKey, gui::vbExclamation, QStringLiteral("warning"));
        return;
    }

    const qsizetype count = result.rows.size();
    m_list->SetRows(std::move(result.rows));
    SizeNumberListColumns(lsvBulkSMSList);

    QString text = common::LanguageText(result.messageKey);
    text.replace(QStringLiteral("%1"), QString::number(count));
    gui::MsgBoxText(text, gui::vbInformation, common::LanguageText(QStringLiteral("information")));
}
