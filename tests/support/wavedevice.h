#pragma once

#include "clientsound/mdlsound.h"

#include <QEventLoop>
#include <QTimer>

// Runs the event loop until the sound module's wave device has closed, at
// most `timeoutMs`; true once it is closed. The loop runs at full speed
// while the device plays; a timer looks in.
inline bool WaitUntilWaveDeviceClosed(int timeoutMs = 20000)
{
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&loop] {
        if (!mdlSound::IsWaveDeviceOpen())
            loop.quit();
    });
    look.start(1);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (mdlSound::IsWaveDeviceOpen())
        loop.exec();
    return !mdlSound::IsWaveDeviceOpen();
}
