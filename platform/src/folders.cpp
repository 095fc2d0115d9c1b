#include "platform/folders.h"

#include <QFileInfo>
#include <dlfcn.h>
#include <filesystem>

namespace platform {

QString programFolder()
{
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return QStringLiteral(".");
    return QString::fromStdString(exe.parent_path().string());
}

QString libraryFolder(const void *address)
{
    Dl_info info{};
    if (dladdr(address, &info) == 0 || !info.dli_fname)
        return programFolder();
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).canonicalPath();
}

} // namespace platform
