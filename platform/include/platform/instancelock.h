#pragma once

#include <QString>

namespace platform {

// Held while the program runs; a second copy with the same lock file sees
// it taken. The lock is released with the process, whatever way it ends.
class InstanceLock {
public:
    explicit InstanceLock(const QString &lockPath);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // True when this process now holds the lock, false when another does.
    bool tryLock();

private:
    QString m_path;
    int m_fd = -1;
};

} // namespace platform
