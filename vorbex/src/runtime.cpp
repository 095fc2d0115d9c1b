#include "runtime.h"

#include "frmmain.h"

#include "platform/clock.h"
#include "platform/folders.h"

#include <cmath>

namespace vorbex::runtime {

namespace {

QString &folderOverride()
{
    static QString folder;
    return folder;
}

double &clockScale()
{
    static double scale = platform::ClockScale();
    return scale;
}

} // namespace

QString libraryFolder()
{
    if (!folderOverride().isEmpty())
        return folderOverride();
    return platform::libraryFolder(reinterpret_cast<const void *>(&libraryFolder));
}

qint64 waitMs(double seconds)
{
    if (!(seconds > 0))
        return 0;
    return std::llround(seconds * 1000.0 * clockScale());
}

void setLibraryFolderForTests(const QString &folder)
{
    folderOverride() = folder;
}

void setClockScaleForTests(double scale)
{
    clockScale() = scale;
    frmMain::clockChanged();
}

} // namespace vorbex::runtime
