#include "frmmain.h"

#include "platform/folders.h"

#include <QCoreApplication>
#include <QStringList>
#include <sys/stat.h>

int main(int argc, char **argv)
{
    // Files the service creates stay writable by its group, which the
    // console's users belong to, however it was started.
    ::umask(0007);
    QCoreApplication app(argc, argv);
    // The raw command line as Windows would hand it over: the arguments
    // joined by blanks, so that a line of blanks only is not empty.
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    frmMain form(platform::programFolder());
    QObject::connect(&form, &frmMain::unloaded, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    if (!form.Service_Load(arguments.join(QLatin1Char(' '))))
        return form.exitCode();
    return app.exec();
}
