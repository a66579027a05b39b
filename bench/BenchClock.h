// What the benchmarks time with: the wall clock in milliseconds and the
// processor time this process has used (every thread of it).
#pragma once

#include <chrono>
#include <sys/resource.h>

namespace grittor::bench {

inline double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline double NowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace grittor::bench
