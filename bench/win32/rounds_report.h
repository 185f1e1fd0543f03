// What the whole-process probes print after their rounds: the median of each program, the
// ratios of the first one's median to the others', and the median of the per-round ratios
// (two programs of one round ran within a second of each other, so a drift of the machine
// cancels out of their ratio).
#pragma once

#include <algorithm>
#include <cstdio>
#include <vector>

namespace kelto::bench {

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// times[k][round]: milliseconds of program k ('A' + k) in each round.
inline void PrintRoundsReport(const std::vector<std::vector<double>>& times) {
    const size_t count = times.size();
    std::vector<double> medians;
    for (size_t k = 0; k < count; ++k) {
        medians.push_back(Median(times[k]));
        std::printf("median %c %.1f ms\n", static_cast<char>('A' + k), medians.back());
    }
    for (size_t k = 1; k < count; ++k)
        std::printf("ratio A/%c %.3f\n", static_cast<char>('A' + k), medians[0] / medians[k]);
    for (size_t k = 1; k < count; ++k) {
        std::vector<double> ratios;
        for (size_t round = 0; round < times[0].size(); ++round) ratios.push_back(times[0][round] / times[k][round]);
        std::printf("paired A/%c %.3f\n", static_cast<char>('A' + k), Median(ratios));
    }
}

}  // namespace kelto::bench
