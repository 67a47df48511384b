#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H

#include "simulator/virtualadapter.h"

#include <algorithm>
#include <cstdio>
#include <vector>

// The value below which the fraction p of values lie (0.5: the median).
inline double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

// A benchmark needs the test bed's preload library; false, said on standard
// error, without it. Figures are printed a line at a time, as they come.
inline bool benchReady(const char *name)
{
    if (!VirtualAdapter::preloaded()) {
        std::fprintf(stderr, "%s: run under umockdev-wrapper (bench/run)\n", name);
        return false;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return true;
}

#endif // BENCHSUPPORT_H
