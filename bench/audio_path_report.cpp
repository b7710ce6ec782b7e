// Figures of one audio_path.sh run: the recording of the sound server's sink (float32,
// 2 channels), the arrival times of its pieces (audio_tap) and the player's log
// (audio_path_play) are put on one clock, and each logged tone is found in the recording.
//   audio_path_report CAPTURE.raw CAPTURE.times PLAYER.log [RATE]
// Prints: dropouts (runs of >= 1 ms of digital silence inside a sounding tone), the error of
// the heard inter-onset intervals against the calls' intervals and against the slot grid,
// the error of the heard tone lengths against the calls, and the latency from a call to the
// recording against the one the engine reports.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "figures.h"

namespace {

struct LoggedTone {
  int savel = 0;
  long long onNs = 0, offNs = 0;
  double kestoMs = 0;
  int melody = 0;
};

struct Capture {
  std::vector<float> lr;  // interleaved
  int rate = 48000;
  // The recording on the steady clock: frame f reached the recorder's source at
  // t0Ns + f * nsPerFrame (the server's clock need not run at the steady clock's pace).
  double t0Ns = 0, nsPerFrame = 0;
  size_t frames() const { return lr.size() / 2; }
  float amp(size_t f) const { return std::max(std::fabs(lr[2 * f]), std::fabs(lr[2 * f + 1])); }
  bool silent(size_t f) const { return lr[2 * f] == 0.0f && lr[2 * f + 1] == 0.0f; }
  double frameOf(double ns) const { return (ns - t0Ns) / nsPerFrame; }
  double timeOf(double frame) const { return t0Ns + frame * nsPerFrame; }
  double msOf(double frames) const { return frames * nsPerFrame / 1e6; }
};

bool readSamples(const char* raw, Capture& c) {
  FILE* f = std::fopen(raw, "rb");
  if (f == nullptr) return false;
  std::fseek(f, 0, SEEK_END);
  const long bytes = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  c.lr.resize(static_cast<size_t>(bytes) / sizeof(float) / 2 * 2);
  const size_t got = std::fread(c.lr.data(), sizeof(float), c.lr.size(), f);
  std::fclose(f);
  c.lr.resize(got / 2 * 2);
  return !c.lr.empty();
}

// A piece holding frames up to n arrived no earlier than frame n reached the source; the
// quickest arrivals of each second lie on a line whose slope is the server's pace. Only the
// stretch [fromNs, toNs] counts: before a stream plays, a sound server may run far ahead.
bool readArrivals(const char* times, double fromNs, double toNs, Capture& c) {
  FILE* t = std::fopen(times, "r");
  if (t == nullptr) return false;
  const double nominal = 1e9 / c.rate;
  std::vector<std::pair<double, double>> quickest;  // (frame, arrival) per second
  long long n = 0, ns = 0;
  while (std::fscanf(t, "%lld %lld", &n, &ns) == 2) {
    if (ns < fromNs || ns > toNs) continue;
    const size_t second = static_cast<size_t>(n / c.rate);
    if (quickest.size() <= second) quickest.resize(second + 1, {0.0, 0.0});
    auto& q = quickest[second];
    if (q.second == 0 || ns - n * nominal < q.second - q.first * nominal)
      q = {static_cast<double>(n), static_cast<double>(ns)};
  }
  std::fclose(t);
  std::erase_if(quickest, [](const auto& q) { return q.second == 0; });
  if (quickest.size() < 4) return false;
  double sn = 0, st = 0, snn = 0, snt = 0;
  for (const auto& [fr, at] : quickest) {
    sn += fr;
    st += at;
    snn += fr * fr;
    snt += fr * at;
  }
  const double k = static_cast<double>(quickest.size());
  c.nsPerFrame = (k * snt - sn * st) / (k * snn - sn * sn);
  c.t0Ns = (st - c.nsPerFrame * sn) / k;
  // Down to the quickest deliveries: the line sits on their lower edge.
  std::vector<double> residual;
  for (const auto& [fr, at] : quickest) residual.push_back(at - c.timeOf(fr));
  c.t0Ns += taktovi::bench::percentile(residual, 0.05);
  return true;
}

bool readLog(const char* path, std::vector<LoggedTone>& tones, long long& heardNs, int& period,
             std::string& mode) {
  FILE* f = std::fopen(path, "r");
  if (f == nullptr) return false;
  char line[512];
  int melody = 0;
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (line[0] == '#') {
      char m[16] = {};
      int rate = 0;
      long long lat = 0;
      if (std::sscanf(line, "# mode %15s rate %d period %d latency_ns %lld heard_ns %lld", m, &rate, &period,
                      &lat, &heardNs) == 5)
        mode = m;
      if (std::strstr(line, "end of melody") != nullptr) ++melody;
      continue;
    }
    LoggedTone t;
    int slot = 0;
    double share = 0;
    if (std::sscanf(line, "%d %d %lld %lld %lf %lf", &slot, &t.savel, &t.onNs, &t.offNs, &t.kestoMs,
                    &share) == 6) {
      t.melody = melody;
      tones.push_back(t);
    }
  }
  std::fclose(f);
  return !tones.empty();
}

// The first frame in [from, to) louder than a floor and than four times the loudest of the
// 3 ms before it (leaving out the last 0.5 ms, where the attack itself rises); -1 if none.
long long findOnset(const Capture& c, long long from, long long to) {
  const long long look = c.rate * 3 / 1000, rise = c.rate / 2000;
  from = std::max(from, look);
  to = std::min(to, static_cast<long long>(c.frames()));
  for (long long f = from; f < to; ++f) {
    const float v = c.amp(static_cast<size_t>(f));
    if (v < 1e-3f) continue;
    float before = 0;
    for (long long g = f - look; g < f - rise; ++g) before = std::max(before, c.amp(static_cast<size_t>(g)));
    if (v > 2.5f * before) return f;
  }
  return -1;
}

// Runs of at least `minRun` frames of exact silence on both channels in [from, to).
int silentRuns(const Capture& c, long long from, long long to, long long minRun) {
  int runs = 0;
  long long run = 0;
  for (long long f = std::max(0LL, from); f < std::min(to, static_cast<long long>(c.frames())); ++f) {
    run = c.silent(static_cast<size_t>(f)) ? run + 1 : 0;
    if (run == minRun) ++runs;
  }
  return runs;
}

// Where the tone ends: from 1 ms before the note-off on, the first 0.5 ms whose peak is
// 10 dB below the tone's level just before the note-off, looking no further than `limit`
// (the next tone); -1 if not found or the tone had no level there.
long long findEnd(const Capture& c, long long offFrame, long long limit) {
  const long long ms = c.rate / 1000, half = c.rate / 2000;
  limit = std::min(limit, static_cast<long long>(c.frames()));
  float ref = 0;
  for (long long f = std::max(0LL, offFrame - 4 * ms); f < std::min(limit, offFrame - ms); ++f)
    ref = std::max(ref, c.amp(static_cast<size_t>(f)));
  if (ref <= 0) return -1;
  for (long long f = offFrame - ms; f + half < limit; f += 8) {
    float p = 0;
    for (long long g = f; g < f + half; ++g) p = std::max(p, c.amp(static_cast<size_t>(g)));
    if (p < 0.316f * ref) return f;
  }
  return -1;
}

void print(const char* what, const std::vector<double>& v) {
  if (v.empty()) {
    std::printf("  %-44s none measured\n", what);
    return;
  }
  const auto s = taktovi::bench::stats(v);
  std::printf("  %-46s mean %+7.3f  SD %6.3f  max |error| %7.3f  max from mean %7.3f ms  (n %zu)\n", what,
              s.mean, s.sd, s.maxAbs, s.maxDev, v.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: audio_path_report CAPTURE.raw CAPTURE.times PLAYER.log [RATE]\n");
    return 2;
  }
  Capture c;
  if (argc > 4) c.rate = std::atoi(argv[4]);
  std::vector<LoggedTone> tones;
  long long heardNs = 0;
  int period = 0;
  std::string mode;
  if (!readSamples(argv[1], c) || !readLog(argv[3], tones, heardNs, period, mode) ||
      !readArrivals(argv[2], static_cast<double>(tones.front().onNs), static_cast<double>(tones.back().offNs),
                    c)) {
    std::fprintf(stderr, "cannot read the capture, its arrival times or the log\n");
    return 1;
  }
  const long long ms = c.rate / 1000;
  std::vector<long long> onset(tones.size(), -1), end(tones.size(), -1);
  std::vector<double> latency, lengthErr;
  int dropouts = 0, missing = 0, sounding = 0;
  double offsetNs = static_cast<double>(heardNs);  // follows the last tone found
  for (size_t i = 0; i < tones.size(); ++i) {
    const LoggedTone& t = tones[i];
    if (t.savel == 0) continue;  // a rest sounds nothing
    ++sounding;
    const auto expected = static_cast<long long>(c.frameOf(static_cast<double>(t.onNs) + offsetNs));
    const long long f = findOnset(c, expected - 15 * ms, expected + 60 * ms);
    if (f < 0) {
      std::fprintf(stderr, "not found: tone %zu savel %d expected at %.1f ms\n", i, t.savel,
                   c.msOf(expected));
      ++missing;
      continue;
    }
    onset[i] = f;
    const double heardAt = c.timeOf(static_cast<double>(f));
    offsetNs = heardAt - static_cast<double>(t.onNs);
    latency.push_back(offsetNs / 1e6);
    const auto length = static_cast<long long>(static_cast<double>(t.offNs - t.onNs) / c.nsPerFrame);
    const int runs = silentRuns(c, f, f + length - ms, ms);
    if (runs > 0)
      std::fprintf(stderr, "dropout: tone %zu savel %d at %.1f ms, tone %.1f ms long\n", i, t.savel,
                   c.msOf(f), c.msOf(length));
    dropouts += runs;
  }
  // Tones heard off the common latency: a stream that stalled, or a command applied late.
  if (!latency.empty()) {
    const double typical = taktovi::bench::median(latency);
    for (size_t i = 0; i < tones.size(); ++i) {
      if (onset[i] < 0) continue;
      const double ms = (c.timeOf(static_cast<double>(onset[i])) - static_cast<double>(tones[i].onNs)) / 1e6;
      if (std::fabs(ms - typical) > 2)
        std::fprintf(stderr, "off the latency: tone %zu savel %d at %.1f ms by %+.2f ms\n", i, tones[i].savel,
                     c.msOf(static_cast<double>(onset[i])), ms - typical);
    }
  }
  // LoggedTone ends, each looked for before the next tone's onset.
  for (size_t i = 0; i < tones.size(); ++i) {
    if (onset[i] < 0) continue;
    long long next = static_cast<long long>(c.frames());
    for (size_t j = i + 1; j < tones.size(); ++j)
      if (onset[j] >= 0) {
        next = onset[j];
        break;
      }
    const auto length =
        static_cast<long long>(static_cast<double>(tones[i].offNs - tones[i].onNs) / c.nsPerFrame);
    end[i] = findEnd(c, onset[i] + length, next);
    if (end[i] >= 0) lengthErr.push_back(c.msOf(static_cast<double>(end[i] - onset[i] - length)));
  }
  std::vector<double> ioiCall, ioiGrid;
  for (size_t i = 0; i < tones.size(); ++i) {
    if (onset[i] < 0) continue;
    double grid = tones[i].kestoMs;
    for (size_t j = i + 1; j < tones.size() && tones[j].melody == tones[i].melody;
         grid += tones[j++].kestoMs) {
      if (tones[j].savel == 0) continue;
      if (onset[j] >= 0) {
        const double heard = c.msOf(static_cast<double>(onset[j] - onset[i]));
        ioiCall.push_back(heard - (tones[j].onNs - tones[i].onNs) / 1e6);
        ioiGrid.push_back(heard - grid);
      }
      break;
    }
  }
  const double minutes = (tones.back().offNs - tones.front().onNs) / 60e9;
  std::printf(
      "%s mode, period %d frames: %.1f min recorded, %d sounding tones (%d not found); server pace %.1f "
      "ppm\n",
      mode.c_str(), period, minutes, sounding, missing, (1e9 / c.rate / c.nsPerFrame - 1) * 1e6);
  std::printf("  dropouts (>= 1 ms of digital silence inside a tone): %d (%.2f per minute)\n", dropouts,
              dropouts / std::max(minutes, 1e-9));
  print("inter-onset error against the calls", ioiCall);
  print("inter-onset error against the slot grid", ioiGrid);
  print("tone length error (heard - called, to -10 dB)", lengthErr);
  print("latency call -> sink monitor (measured)", latency);
  if (!latency.empty()) {
    std::printf("  latency the engine reports: %.2f ms; measured median %.2f ms, range %.2f .. %.2f ms\n",
                heardNs / 1e6, taktovi::bench::median(latency),
                *std::min_element(latency.begin(), latency.end()),
                *std::max_element(latency.begin(), latency.end()));
  }
  return 0;
}
