// Wall-clock time and medians for the benchmark programs.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdio>
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
