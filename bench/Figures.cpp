// SPDX-License-Identifier: GPL-3.0-or-later

#include "Figures.h"

#include "Process.h"
#include "components/text/Cp1251.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace fs = std::filesystem;

namespace bench {

Options opt;

namespace {

// Files of the generated data carry this, so that a change of the generator
// makes them anew instead of reusing old ones.
const char* const kDataVersion = "v1";

std::vector<Figure> figures;

// A figure with target 0 is a part of another, shown to explain it.
std::string targetText(const Figure& f) {
    if (f.target <= 0)
        return "";
    char text[64];
    if (f.base > 0)
        std::snprintf(text, sizeof text, "<= %g", f.target);
    else
        std::snprintf(text, sizeof text, "<= %g %s", f.target, f.unit.c_str());
    return text;
}

std::string verdict(const Figure& f) {
    if (f.target <= 0)
        return "";
    const bool ok = f.base > 0 ? f.ours / f.base <= f.target : f.ours <= f.target;
    return ok ? "ok" : "MISSED";
}

// One decimal, two below 1 (a tenth of a percent of CPU must show).
std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, v < 1 && v > -1 ? "%.2f" : "%.1f", v);
    return text;
}

} // namespace

fs::path localDb(int articles) {
    return opt.work / ("local-" + std::to_string(articles) + "-" + kDataVersion + ".gdb");
}
fs::path masterDb() {
    return opt.work / (std::string("master-") + kDataVersion + ".gdb");
}

std::string cp(const char* utf8) {
    return text::utf8ToCp1251(utf8, true);
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void report(const Figure& f) {
    figures.push_back(f);
    std::printf("  %-44s %9s %s", f.name.c_str(), number(f.ours).c_str(), f.unit.c_str());
    if (f.base > 0)
        std::printf("   baseline %9.1f %s   ratio %5.2f", f.base, f.unit.c_str(), f.ours / f.base);
    if (f.target > 0)
        std::printf("   (target %s: %s)", targetText(f).c_str(), verdict(f).c_str());
    if (!f.note.empty())
        std::printf("   %s", f.note.c_str());
    std::printf("\n");
    std::fflush(stdout);
}

std::pair<double, double> interleaved(const std::function<double()>& ours,
                                      const std::function<double()>& base) {
    std::vector<double> a, b;
    for (int i = 0; i < opt.reps; ++i) {
        a.push_back(ours());
        b.push_back(base());
    }
    if (getenv("TIPSARA_BENCH_VERBOSE")) {
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        std::printf("    ours:");
        for (double x : a)
            std::printf(" %.1f", x);
        std::printf("\n    base:");
        for (double x : b)
            std::printf(" %.1f", x);
        std::printf("\n");
    }
    return {median(a), median(b)};
}

double timed(const std::function<void()>& fn) {
    const double t0 = nowMs();
    fn();
    return nowMs() - t0;
}

void pump(int ms) {
    const double end = nowMs() + ms;
    do
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    while (nowMs() < end);
}

void printTable() {
    std::printf("\n| figure | time | baseline | ratio | target | result | notes |\n"
                "|---|---:|---:|---:|---:|---|---|\n");
    for (const Figure& f : figures) {
        std::printf("| %s | %s %s | ", f.name.c_str(), number(f.ours).c_str(), f.unit.c_str());
        if (f.base > 0)
            std::printf("%.1f %s | %.2f | ", f.base, f.unit.c_str(), f.ours / f.base);
        else
            std::printf("| | ");
        std::printf("%s | %s | %s |\n", targetText(f).c_str(), verdict(f).c_str(), f.note.c_str());
    }
}

} // namespace bench
