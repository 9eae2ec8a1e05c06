#pragma once
// The figures every benchmark prints: percentiles of timings, the calling thread's CPU time
// and the process's memory.

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QList>
#include <algorithm>
#include <vector>

// The value below which `share` (0..1) of `values` lie (the lower one of two neighbours);
// 0 for no values.
inline double Percentile(std::vector<double> values, double share)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(share * static_cast<double>(values.size() - 1))];
}

// CPU time the calling thread has used, in ms.
inline double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The process's peak resident memory so far, in kB.
inline long PeakResidentKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The process's resident memory now, in MB (0 when it cannot be read).
inline double ResidentMb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return 0.0;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1
               ? fields[1].toDouble() * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6
               : 0.0;
}
