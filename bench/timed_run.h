// Shared by the benchmark runners the bench scripts time: runs one engine
// call, prints its wall time in seconds, and says on stderr what the call
// returned when it failed. The exit code is 0 on success, else 1.
#ifndef BENCH_TIMED_RUN_H
#define BENCH_TIMED_RUN_H

#include <chrono>
#include <cstdio>

template <typename Call>
int TimedRun(const char* name, Call call)
{
    auto start = std::chrono::steady_clock::now();
    int result = call();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f\n", seconds);
    if (result != 0)
        std::fprintf(stderr, "%s returned %d\n", name, result);
    return result == 0 ? 0 : 1;
}

#endif
