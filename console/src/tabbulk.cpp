#include "tabbulk.h"

#include "controls.h"
#include "frmmain.h"
#include "gui/arbutton.h"
#include "vorbex/modpdu.h"

#include <QLabel>
#include <QTextEdit>
#include <QTreeWidget>

namespace {

void SetTextColour(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

MessageCount CountMessage(const QString &text)
{
    QString message = text;
    message.remove(QLatin1Char('\r'));
    const int limit = !message.isEmpty() && !modPDU::IsSevenBitText(message) ? 70 : 160;
    return {message.size(), limit};
}

BulkTab::BulkTab(frmMain &owner) : QFrame(&owner)
{
    lblBulkSMSList = Place<QLabel>(this, "lblBulkSMSList", 10, 8, 260, 16);
    lsvBulkSMSList = Place<QTreeWidget>(this, "lsvBulkSMSList", 10, 26, 260, 226);
    lsvBulkSMSList->setColumnCount(2);
    lsvBulkSMSList->setRootIsDecorated(false);
    lsvBulkSMSList->setHeaderLabels({QString(), QString()});
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
}

void BulkTab::txtSMSMessage_Change()
{
    const MessageCount count = CountMessage(txtSMSMessage->toPlainText());
    lblFreeCharacters->setText(QString::number(count.length) + QLatin1Char('/') + QString::number(count.limit));
    SetTextColour(lblFreeCharacters, count.length > count.limit ? QColor(192, 0, 0) : QColor(255, 255, 255));
}
