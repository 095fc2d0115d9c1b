#pragma once

#include <QFrame>
#include <QList>

class QLabel;
class QTextEdit;
class QTreeWidget;
class frmMain;
namespace gui { class ARButton; }
namespace sheets { struct BulkRow; }

// Tab 3: bulk messages to a list imported from a spreadsheet.
class BulkTab : public QFrame {
    Q_OBJECT
public:
    explicit BulkTab(frmMain &owner);

    // The counter "length/limit" under the message, dark red past the limit.
    void txtSMSMessage_Change();
    // Appends the name placeholder to the message.
    void btnAddNameToSMS_Click();
    void btnClearBulkSMSList_Click();
    // Queues one Unsent file per row of the list.
    void btnSendSMS_Click();
    // Replaces the list with the rows of a spreadsheet's first sheet.
    void btnImportFromExcel_Click();

    // The rows of the list: the name and the number as imported.
    QList<sheets::BulkRow> BulkRows() const;

    QLabel *lblBulkSMSList;
    QTreeWidget *lsvBulkSMSList;
    gui::ARButton *btnImportFromExcel;
    gui::ARButton *btnClearBulkSMSList;
    QLabel *lblSMSMessage;
    QTextEdit *txtSMSMessage;
    QLabel *lblFreeCharacters;
    gui::ARButton *btnAddNameToSMS;
    gui::ARButton *btnSendSMS;

private:
    bool MakeSureOfUnsent();
    void SelectRow(qsizetype row);
    void QueueRows(const QStringList &lines);

    frmMain &m_owner;
    QString m_importFolder;
};

