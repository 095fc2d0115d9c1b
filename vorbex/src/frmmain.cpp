#include "frmmain.h"

#include "runtime.h"

#include <QCoreApplication>
#include <QPointer>

namespace vorbex {

namespace {

constexpr double QueueTimerSeconds = 8.0;

QPointer<frmMain> &current()
{
    static QPointer<frmMain> window;
    return window;
}

} // namespace

frmMain::frmMain(QObject *parent) : QObject(parent)
{
    connect(&tmrQueue, &QTimer::timeout, this, &frmMain::QueueTimer);
    applyInterval();
    tmrQueue.start();
}

frmMain *frmMain::instance()
{
    // Owned by the application, so it goes with it, on the host's thread.
    if (!current())
        current() = new frmMain(QCoreApplication::instance());
    return current();
}

void frmMain::clockChanged()
{
    if (current())
        current()->applyInterval();
}

void frmMain::applyInterval()
{
    tmrQueue.setInterval(static_cast<int>(runtime::waitMs(QueueTimerSeconds)));
}

} // namespace vorbex
