// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// The run's settings, the generated data's paths, and the figures: each
// measured beside its baseline in turn, reported as it comes and tabled at
// the end.

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace bench {

struct Options {
    std::filesystem::path work = TIPSARA_BENCH_WORK;
    std::filesystem::path bin = TIPSARA_BIN_DIR;
    int reps = 5;
    std::vector<int> sizes = {1000, 8000, 32000, 128000};
    int mainSize = 32000;
};
extern Options opt;

std::filesystem::path localDb(int articles);
std::filesystem::path masterDb();

// UTF-8 to the program's Windows-1251.
std::string cp(const char* utf8);

double median(std::vector<double> v);

struct Figure {
    Figure(std::string name, double ours, double base, double target, std::string unit = "ms")
        : name(std::move(name)), ours(ours), base(base), target(target), unit(std::move(unit)) {}
    std::string name;
    double ours;
    double base; // 0: no baseline
    double target;
    std::string unit;
    std::string note;
};

// Prints the figure at once and keeps it for the table.
void report(const Figure& f);
// The figures reported so far, as a Markdown table.
void printTable();

// Runs ours and the baseline in turn, reps times each, so that a machine
// that slows down or speeds up in the meantime affects both alike. Returns
// the two medians.
std::pair<double, double> interleaved(const std::function<double()>& ours,
                                      const std::function<double()>& base);

// Milliseconds fn takes.
double timed(const std::function<void()>& fn);
// Runs the event loop for at least ms milliseconds.
void pump(int ms);

} // namespace bench
