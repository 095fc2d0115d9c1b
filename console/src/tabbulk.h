#pragma once

#include "sheets/spreadsheetimport.h"

#include <QAbstractTableModel>
#include <QFrame>
#include <QList>

class QLabel;
class QTextEdit;
class QTreeView;
class frmMain;
namespace gui { class ARButton; }

// The rows of the bulk list, as the list shows them: the name and the
// number as imported, in the order of sending. An import may bring a
// million rows; they are kept once, as the import read them.
class BulkListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role) override;

    const QList<sheets::BulkRow> &rows() const { return m_rows; }
    // Replaces every row.
    void SetRows(QList<sheets::BulkRow> rows);

private:
    QList<sheets::BulkRow> m_rows;
    QString m_headers[2];
};

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

    // The rows of lsvBulkSMSList.
    BulkListModel *BulkList() const { return m_list; }

    QLabel *lblBulkSMSList;
    QTreeView *lsvBulkSMSList;
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
    BulkListModel *m_list;
    QString m_importFolder;
};

