#pragma once

#include <QString>

// What the modem library takes from its surroundings: the folder it lives in
// and the clock its waits run on. Tests that run side by side give each
// process its own folder and may run the clock faster; nothing else changes
// either.
namespace vorbex::runtime {

// The folder that holds libvorbex.so, unless a test named another one.
QString libraryFolder();
// Milliseconds that a wait of `seconds` lasts.
qint64 waitMs(double seconds);

// For tests only.
void setLibraryFolderForTests(const QString &folder);
// 1 is real time; 0.1 makes every wait and the queue timer ten times shorter.
void setClockScaleForTests(double scale);

} // namespace vorbex::runtime
