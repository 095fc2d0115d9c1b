#pragma once

#include <QObject>
#include <QTimer>

namespace vorbex {

// The hidden timer window: one per process, shared by every modem object.
// Its queue timer ticks every 8 seconds from the moment it is created until
// the application ends, whether or not anything is queued.
class frmMain : public QObject {
    Q_OBJECT
public:
    static frmMain *instance();
    // The test clock changed: the running timer follows it.
    static void clockChanged();

Q_SIGNALS:
    void QueueTimer();

private:
    explicit frmMain(QObject *parent);
    void applyInterval();

    QTimer tmrQueue;
};

} // namespace vorbex
