#pragma once
// The program's clocks.
//  - The queue clock: unsigned 32-bit milliseconds, the low 32 bits of the local date and time
//    counted from 30 December 1899. It wraps about every 49.7 days; compare readings by signed
//    32-bit difference (QueueTimeDiff). It is the local time read once at start plus a monotonic
//    clock, so a daylight-saving change or a clock adjustment cannot shift due times.
//  - The performance counter: a monotonic 64-bit count of 100 ns ticks (10 MHz).
//  - The date-time value: days since 30 December 1899 as a double, local time, for display.

#include <cstdint>

constexpr int64_t kPerfFrequency = 10'000'000;  // performance counter ticks per second

// Any thread.
uint32_t QueueClockNow();
// Signed difference a - b of two queue clock readings, in ms.
inline int32_t QueueTimeDiff(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b); }
// Any thread. Monotonic 100 ns ticks.
int64_t PerfCounter();
// Any thread. Returns once PerfCounter() has reached `deadline` (at once when it has), never
// before it and at most a fraction of a millisecond after: it sleeps to an absolute time for
// all but the last kPerfSpinTicks, then reads the counter, so a pause of many milliseconds
// costs the thread next to no processor time.
void WaitForPerfCounter(int64_t deadline);
constexpr int64_t kPerfSpinTicks = kPerfFrequency / 2000;  // 0.5 ms
// Any thread. Local date and time as days since 30 December 1899.
double NowDateTime();
// Queue clock value for a local date-time value (days since 30 December 1899).
uint32_t QueueClockFromDateTime(double dateTime);

// Tests: freeze the queue clock at `now` (step it with StepQueueClock), or let it run again.
void FreezeQueueClock(uint32_t now);
void StepQueueClock(int32_t ms);
void UnfreezeQueueClock();
// Tests: where the local date and time is read (days since 30 December 1899; nullptr: the
// system clock). The queue clock takes its start from the next reading, as at program start.
// Call only while no other thread reads the clocks.
void SetLocalTimeSourceForTest(double (*source)());
