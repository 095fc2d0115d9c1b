#pragma once

#include <QFrame>

class QLabel;
class QTextEdit;
class QTreeWidget;
class frmMain;
namespace gui { class ARButton; }

// Tab 3: bulk messages to a list imported from a spreadsheet.
class BulkTab : public QFrame {
    Q_OBJECT
public:
    explicit BulkTab(frmMain &owner);

    // The counter "length/limit" under the message, dark red past the limit.
    void txtSMSMessage_Change();

    QLabel *lblBulkSMSList;
    QTreeWidget *lsvBulkSMSList;
    gui::ARButton *btnImportFromExcel;
    gui::ARButton *btnClearBulkSMSList;
    QLabel *lblSMSMessage;
    QTextEdit *txtSMSMessage;
    QLabel *lblFreeCharacters;
    gui::ARButton *btnAddNameToSMS;
    gui::ARButton *btnSendSMS;
};

// The counter's length and limit for a message text: a line break counts
// as one character; the limit is 70 for a text with a character past the
// seven-bit range, else 160.
struct MessageCount {
    qsizetype length;
    int limit;
};
MessageCount CountMessage(const QString &text);
