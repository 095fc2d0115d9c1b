// TalvinorSMSServer: the administration console.
#include "frmmain.h"

#include "common/errorlog.h"
#include "gui/systemlanguage.h"
#include "platform/folders.h"

#include <QApplication>
#include <sys/stat.h>

int main(int argc, char **argv)
{
    // The service's group shares every file the console writes.
    ::umask(0007);
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    gui::InstallQtTranslations(app);
    common::errorLogName = QStringLiteral("TalvinorSMSServer.log");
    frmMain window(platform::programFolder());
    if (!window.Form_Load())
        return 1;
    return app.exec();
}
