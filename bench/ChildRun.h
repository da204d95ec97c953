#pragma once
// Whole child processes as the benchmarks time them: wall time from spawn to exit and the
// child's own peak memory (its maximum resident set, tools it waits for included).

#include <string>
#include <vector>

namespace vantor::bench {

struct ChildRun {
  double seconds = 0;
  double peakMegabytes = 0;
  bool ok = false;  // started and exited with status 0
};

// Runs argv (argv[0] a path, no PATH search) and waits for it.
ChildRun runChild(const std::vector<std::string>& argv);

double median(std::vector<double> values);

}  // namespace vantor::bench
