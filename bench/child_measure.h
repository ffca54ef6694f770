#pragma once

#include <QElapsedTimer>
#include <algorithm>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace telva::bench {

struct Measure {
    double seconds = 0;
    double cpu = 0;
    double peakMb = 0;
    bool ok = false;
};

// Runs work in a child process: its wall time, CPU time and peak resident size (its own
// children's included), so each side's memory is measured apart from the benchmark's own.
template <class Work> Measure inChild(Work work) {
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0)
        _exit(work() ? 0 : 1);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Measure m;
    m.seconds = timer.nsecsElapsed() / 1e9;
    m.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
            (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    m.peakMb = usage.ru_maxrss / 1024.0;
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return m;
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace telva::bench
