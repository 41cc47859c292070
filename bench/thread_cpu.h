// The benchmarks' own clock: CPU time of the calling thread, user and
// system, in seconds. The machines they run on share their cores, so
// wall-clock time says more about the neighbours than about the code.
#ifndef MDLEXPORT_BENCH_THREAD_CPU_H
#define MDLEXPORT_BENCH_THREAD_CPU_H

#include <ctime>

inline double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

#endif
