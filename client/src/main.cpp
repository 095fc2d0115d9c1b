// TalvinorSMSClient: the desktop client.
#include "frmmain.h"

#include "common/errorlog.h"
#include "gui/systemlanguage.h"
#include "platform/folders.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    gui::InstallQtTranslations(app);
    // The window may sit in the tray while an error box is closed: only the
    // close button ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    common::errorLogName = QStringLiteral("TalvinorSMSClient.log");
    frmMain window(platform::programFolder());
    QObject::connect(&window, &frmMain::unloaded, &app, &QApplication::quit, Qt::QueuedConnection);
    window.Form_Load();
    return app.exec();
}
