#pragma once

#include <QHash>
#include <QString>
#include <QtGlobal>
#include <deque>
#include <functional>

// Slows down password guessing: an address that has had too many logins
// refused in a short while is refused outright for a while, without asking
// the database.
class LoginGuard {
public:
    static constexpr int MaxRefusals = 10;
    static constexpr qint64 WindowMs = 10 * 60 * 1000;
    static constexpr qint64 BlockMs = 10 * 60 * 1000;

    // Milliseconds on a clock that never goes back.
    using Clock = std::function<qint64()>;

    LoginGuard();

    bool IsBlocked(const QString &address);
    // Counts one refused login; true when it starts a block of the address.
    bool Refused(const QString &address);

    // Tests run the guard on a clock of their own.
    void SetClockForTests(Clock clock) { m_clock = std::move(clock); }

private:
    struct Record {
        std::deque<qint64> refusals;
        qint64 blockedUntil = 0;
        bool blocked = false;
    };

    void ForgetStale(qint64 now);

    Clock m_clock;
    QHash<QString, Record> m_records;
    qsizetype m_sizeAfterSweep = 0;
};
