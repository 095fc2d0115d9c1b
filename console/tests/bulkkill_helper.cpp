// A console that is killed in the middle of a bulk send: it opens the
// program folder given, puts 2,000 rows into the bulk list, clicks the send
// button, and while the files are being written aside (the window keeps
// drawing meanwhile) it prints "aside" and waits to be killed.
#include "frmmain.h"
#include "tabbulk.h"

#include "gui/arbutton.h"

#include "common/errorlog.h"
#include "store/queuefiles.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2)
        return 2;
    common::errorLogName = QStringLiteral("bulkkill_helper.log");
    frmMain window(QString::fromLocal8Bit(argv[1]));
    if (!window.Form_Load())
        return 1;
    window.optTab_Click(3);

    QList<sheets::BulkRow> rows;
    for (int i = 0; i < 2000; ++i)
        rows.append({QStringLiteral("Kişi %1").arg(i), QStringLiteral("0532%1").arg(i, 7, 10, QLatin1Char('0'))});
    window.bulk->BulkList()->SetRows(rows);
    window.bulk->txtSMSMessage->setPlainText(QStringLiteral("Merhaba [[N]]"));

    const QDir unsent(QueueFolder(window.state().programFolder, UnsentFolder));
    QTimer during;
    QObject::connect(&during, &QTimer::timeout, [&] {
        if (unsent.entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden).isEmpty())
            return;
        std::printf("aside\n");
        std::fflush(stdout);
        for (;;)
            ::pause();
    });
    during.start(0);
    QTest::mouseClick(window.bulk->btnSendSMS, Qt::LeftButton);
    std::printf("the send ended before it was killed\n");
    return 3;
}
