#pragma once
// What the benchmarks compute from their samples: process CPU time, resident memory, and the
// usual statistics.

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

namespace taktovi::bench {

// CPU seconds of the whole process, user and system.
inline double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Resident memory of the whole process (VmRSS), in MB; 0 where /proc is not there.
inline double residentMb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024;
  return 0;
}

struct Stats {
  double mean = 0, sd = 0, maxDev = 0, maxAbs = 0;  // maxDev from the mean, maxAbs from 0
};

inline Stats stats(const std::vector<double>& v) {
  Stats s;
  for (double x : v) s.mean += x;
  s.mean /= static_cast<double>(v.size());
  for (double x : v) {
    s.sd += (x - s.mean) * (x - s.mean);
    s.maxDev = std::max(s.maxDev, std::fabs(x - s.mean));
    s.maxAbs = std::max(s.maxAbs, std::fabs(x));
  }
  s.sd = std::sqrt(s.sd / static_cast<double>(v.size()));
  return s;
}

inline double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

inline double median(std::vector<double> v) {
  return percentile(std::move(v), 0.5);
}

}  // namespace taktovi::bench
