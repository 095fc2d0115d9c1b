#include "loginguard.h"

#include <QDeadlineTimer>
#include <algorithm>

LoginGuard::LoginGuard() : m_clock([] { return QDeadlineTimer::current().deadline(); }) {}

bool LoginGuard::IsBlocked(const QString &address)
{
    const auto record = m_records.find(address);
    if (record == m_records.end() || !record->blocked)
        return false;
    if (m_clock() < record->blockedUntil)
        return true;
    m_records.erase(record);
    return false;
}

bool LoginGuard::Refused(const QString &address)
{
    const qint64 now = m_clock();
    Record &record = m_records[address];
    if (record.blocked && now >= record.blockedUntil)
        record = Record();
    while (!record.refusals.empty() && record.refusals.front() <= now - WindowMs)
        record.refusals.pop_front();
    record.refusals.push_back(now);
    const bool blocks = !record.blocked && static_cast<int>(record.refusals.size()) >= MaxRefusals;
    if (blocks) {
        record.blocked = true;
        record.blockedUntil = now + BlockMs;
        record.refusals.clear();
    }
    // Addresses that stopped trying are forgotten, so that many addresses
    // trying once each cannot grow the table without end.
    if (m_records.size() > std::max<qsizetype>(64, 2 * m_sizeAfterSweep))
        ForgetStale(now);
    return blocks;
}

void LoginGuard::ForgetStale(qint64 now)
{
    m_records.removeIf([now](const auto &entry) {
        const Record &r = entry.value();
        return r.blocked ? now >= r.blockedUntil : r.refusals.empty() || r.refusals.back() <= now - WindowMs;
    });
    m_sizeAfterSweep = m_records.size();
}
