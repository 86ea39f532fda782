// The physical anchor of the speed goals: the time `cat` takes, in this run, to read the month files
// of the history benchmark (a million records, 74 MB) from the page cache to /dev/null. A goal is a
// ratio to it, never to another of our own benchmarks, so that it means the same on any machine.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

// The month files the anchor reads (made by the history benchmark's fixture).
const std::vector<std::string>& HistoryBenchFiles();

// Seconds for one `cat` of those files, the median of several runs; measured at the first call.
double CatAnchorSeconds();

// Sets the counters "x_cat" (seconds per iteration / the anchor) and "cat_ms", and the label
// "goal: at most <goal> x cat" followed by what.
void ReportAgainstCat(benchmark::State& state, double secondsPerIteration, double goal,
                      const std::string& what = {});

// Times the body of a benchmark loop, for ReportAgainstCat.
class TLoopClock {
  public:
    TLoopClock() : start_(std::chrono::steady_clock::now()) {}
    double SecondsPerIteration(const benchmark::State& state) const {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
        return state.iterations() ? elapsed.count() / static_cast<double>(state.iterations()) : 0;
    }

  private:
    std::chrono::steady_clock::time_point start_;
};
