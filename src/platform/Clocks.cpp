#include "platform/Clocks.h"

#include <QDateTime>
#include <QTimeZone>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

namespace {

constexpr double kMsPerDay = 86'400'000.0;
// Days from 30 December 1899 to 1 January 1970.
constexpr double kDateTimeEpochOffsetDays = 25569.0;

double SystemLocalDateTime()
{
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 localMs = now.toMSecsSinceEpoch() + qint64(now.offsetFromUtc()) * 1000;
    return kDateTimeEpochOffsetDays + double(localMs) / kMsPerDay;
}

std::atomic<double (*)()> g_localTime{&SystemLocalDateTime};

double LocalDateTimeNow() { return g_localTime.load(std::memory_order_acquire)(); }

// The local time read once, and the monotonic clock at that moment: the queue clock runs on
// from there, whatever happens to the wall clock afterwards.
struct TQueueClockBase {
    std::mutex mutex;
    std::atomic<bool> set{false};
    std::atomic<uint32_t> wallAtStart{0};
    std::atomic<int64_t> monoAtStartNs{0};
};

TQueueClockBase g_base;

int64_t SteadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void EnsureBase()
{
    if (g_base.set.load(std::memory_order_acquire)) {
        return;
    }
    const std::lock_guard lock(g_base.mutex);
    if (!g_base.set.load(std::memory_order_relaxed)) {
        g_base.wallAtStart.store(QueueClockFromDateTime(LocalDateTimeNow()),
                                 std::memory_order_relaxed);
        g_base.monoAtStartNs.store(SteadyNs(), std::memory_order_relaxed);
        g_base.set.store(true, std::memory_order_release);
    }
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
    EnsureBase();
    const int64_t elapsedMs =
        (SteadyNs() - g_base.monoAtStartNs.load(std::memory_order_relaxed)) / 1'000'000;
    return g_base.wallAtStart.load(std::memory_order_relaxed) +
           static_cast<uint32_t>(static_cast<uint64_t>(elapsedMs));
}

int64_t PerfCounter()
{
    using Ticks = std::chrono::duration<int64_t, std::ratio<1, kPerfFrequency>>;
    return std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void WaitForPerfCounter(int64_t deadline)
{
    // The counter is the steady clock in other units, so its values name the clock's time
    // points exactly. A sleep ends late by the timer's slack, never early; the last stretch is
    // read off the counter so that the deadline is kept to the tick.
    const int64_t wake = deadline - kPerfSpinTicks;
    if (PerfCounter() < wake) {
        using Ticks = std::chrono::duration<int64_t, std::ratio<1, kPerfFrequency>>;
        std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(Ticks(wake))));
    }
    while (PerfCounter() < deadline) {
    }
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

void SetLocalTimeSourceForTest(double (*source)())
{
    const std::lock_guard lock(g_base.mutex);
    g_localTime.store(source != nullptr ? source : &SystemLocalDateTime, std::memory_order_release);
    g_base.set.store(false, std::memory_order_release);
}
