#pragma once

#include <QString>

namespace platform {

// Folder of the running executable, without a trailing "/".
QString programFolder();

// Folder of the shared library (or executable) that holds `address`.
QString libraryFolder(const void *address);

} // namespace platform
