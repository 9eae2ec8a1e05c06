#include "platform/Clocks.h"

#include <QDateTime>
#include <QTimeZone>
#include <atomic>
#include <chrono>
#include <cmath>

namespace {

constexpr double kMsPerDay = 86'400'000.0;
// Days from 30 December 1899 to 1 January 1970.
constexpr double kDelphiEpochOffsetDays = 25569.0;

double LocalDateTimeNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 localMs = now.toMSecsSinceEpoch() + qint64(now.offsetFromUtc()) * 1000;
    return kDelphiEpochOffsetDays + double(localMs) / kMsPerDay;
}

struct QueueClockBase {
    uint32_t wallAtStart;
    std::chrono::steady_clock::time_point monoAtStart;
};

const QueueClockBase& Base()
{
    static const QueueClockBase base{QueueClockFromDateTime(LocalDateTimeNow()),
                                     std::chrono::steady_clock::now()};
    return base;
}

std::atomic<bool> g_frozen{false};
std::atomic<uint32_t> g_frozenValue{0};

}  // namespace

uint32_t QueueClockFromDateTime(double dateTime)
{
    const double ms = std::round(dateTime * kMsPerDay);
    return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(ms)));
}

uint32_t QueueClockNow()
{
    if (g_frozen.load(std::memory_order_acquire)) {
        return g_frozenValue.load(std::memory_order_acquire);
    }
    const QueueClockBase& base = Base();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - base.monoAtStart);
    return base.wallAtStart + static_cast<uint32_t>(static_cast<uint64_t>(elapsed.count()));
}

int64_t PerfCounter()
{
    using Ticks = std::chrono::duration<int64_t, std::ratio<1, kPerfFrequency>>;
    return std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double NowDateTime() { return LocalDateTimeNow(); }

void FreezeQueueClock(uint32_t now)
{
    g_frozenValue.store(now, std::memory_order_release);
    g_frozen.store(true, std::memory_order_release);
}

void StepQueueClock(int32_t ms)
{
    g_frozenValue.fetch_add(static_cast<uint32_t>(ms), std::memory_order_acq_rel);
}

void UnfreezeQueueClock() { g_frozen.store(false, std::memory_order_release); }
