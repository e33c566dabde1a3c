// Wall-clock time, medians and the printed lines of the benchmark programs. A figure is
// printed only from a run whose result was checked; a run that failed prints FAILED with
// the reason instead, and the program then ends with a non-zero exit code.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

inline double Now()
{
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One line of the benchmark table: figure, value, baseline of the same run, ratio, goal.
inline void Line(const char* name, double value, double baseline, const char* unit, double ratio, const char* goal)
{
    std::printf("%-44s %10.4f %s  baseline %10.4f %s  ratio %6.2f  goal %s\n", name, value, unit, baseline, unit,
                ratio, goal);
    std::fflush(stdout);
}

// Set once any figure failed: the program's exit code.
inline bool& AnyFailed()
{
    static bool failed = false;
    return failed;
}

// The line of a figure whose run failed or whose result was wrong: no number.
inline void Failed(const char* name, const std::string& why)
{
    std::printf("%-44s FAILED: %s\n", name, why.c_str());
    std::fflush(stdout);
    AnyFailed() = true;
}

inline int ExitCode() { return AnyFailed() ? 1 : 0; }
