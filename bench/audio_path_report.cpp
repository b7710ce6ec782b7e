// Figures of one audio_path.sh run: the recording of the sound server's sink monitor (float32,
// 2 channels), the arrival times of its pieces (audio_tap) and the player's log
// (audio_path_play) are put on one clock, and each logged tone is found in the recording.
//   audio_path_report CAPTURE.raw CAPTURE.times PLAYER.log [sink=US] [rate=HZ] [tones=OUT]
// sink: what the sink plays out after a frame reaches its monitor (PulseAudio: the sink's
// configured latency; PipeWire: one graph quantum). Prints: dropouts (runs of >= 1 ms of
// digital silence inside a sounding tone), the error of the heard inter-onset intervals
// against the slot grid and against the planned times, the error of the heard tone lengths
// against the planned ones, and the heard latency (monitor arrival plus `sink`, from the
// planned time) against the one the engine reported for each tone. OUT gets a line per tone
// found: its index, planned time (ns), heard latency measured and reported (ms).
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
  long long onNs = 0, offNs = 0;  // planned
  long long gridNs = 0, callNs = 0, heardNs = 0;
  double kestoMs = 0;
  int melody = 0;
};

struct Capture {
  std::vector<float> lr;  // interleaved
  int rate = 48000;
  double nsPerFrame = 0;
  // The pieces as they arrived: (frames so far, steady-clock ns).
  std::vector<std::pair<long long, long long>> reads;
  size_t frames() const { return lr.size() / 2; }
  float amp(size_t f) const { return std::max(std::fabs(lr[2 * f]), std::fabs(lr[2 * f + 1])); }
  bool silent(size_t f) const { return lr[2 * f] == 0.0f && lr[2 * f + 1] == 0.0f; }
  double msOf(double frames) const { return frames * nsPerFrame / 1e6; }
  // When frame f reached the recorder's source: no later than any piece holding it or a later
  // frame arrived, less the frames in between; the quickest of the pieces of the next 0.3 s
  // bound it closely. Taken locally, so a stretch the source skipped (a recording that lost
  // time) moves only what comes after it.
  double timeOf(double f) const {
    auto it =
        std::upper_bound(reads.begin(), reads.end(), f,
                         [](double v, const std::pair<long long, long long>& r) { return v < r.first; });
    double best = 0;
    for (bool first = true; it != reads.end() && it->first <= f + 0.3 * rate; ++it, first = false) {
      const double at =
          static_cast<double>(it->second) - (static_cast<double>(it->first) - 1 - f) * nsPerFrame;
      best = first ? at : std::min(best, at);
    }
    return best;
  }
  // The frame that reached the source at `ns`.
  double frameOf(double ns) const {
    auto it =
        std::lower_bound(reads.begin(), reads.end(), ns,
                         [](const std::pair<long long, long long>& r, double v) { return r.second < v; });
    if (it == reads.end()) return static_cast<double>(frames());
    const double f = static_cast<double>(it->first) - (static_cast<double>(it->second) - ns) / nsPerFrame;
    return f + (ns - timeOf(f)) / nsPerFrame;
  }
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

bool readArrivals(const char* times, Capture& c) {
  FILE* t = std::fopen(times, "r");
  if (t == nullptr) return false;
  c.nsPerFrame = 1e9 / c.rate;
  long long n = 0, ns = 0;
  while (std::fscanf(t, "%lld %lld", &n, &ns) == 2) c.reads.emplace_back(n, ns);
  std::fclose(t);
  return c.reads.size() > 4;
}

// Stretches the source skipped during [fromNs, toNs]: from one second to the next, the quickest
// arrival falls behind the frames by more than 5 ms. Their count and total, ms.
std::pair<int, double> recordingGaps(const Capture& c, double fromNs, double toNs) {
  std::vector<double> quickest;  // per second of frames: arrival less the frames' time
  for (const auto& [n, ns] : c.reads) {
    if (ns < fromNs || ns > toNs) continue;
    const auto second = static_cast<size_t>(n / c.rate);
    const double lag = static_cast<double>(ns) - static_cast<double>(n) * c.nsPerFrame;
    if (quickest.size() <= second) quickest.resize(second + 1, 1e300);
    quickest[second] = std::min(quickest[second], lag);
  }
  std::erase_if(quickest, [](double q) { return q == 1e300; });
  int gaps = 0;
  double ms = 0;
  for (size_t i = 1; i < quickest.size(); ++i) {
    const double step = (quickest[i] - quickest[i - 1]) / 1e6;
    if (step > 5) {
      ++gaps;
      ms += step;
    }
  }
  return {gaps, ms};
}

bool readLog(const char* path, std::vector<LoggedTone>& tones, int& period, std::string& mode) {
  FILE* f = std::fopen(path, "r");
  if (f == nullptr) return false;
  char line[512];
  int melody = 0;
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (line[0] == '#') {
      char m[16] = {};
      int rate = 0;
      if (std::sscanf(line, "# mode %15s rate %d period %d", m, &rate, &period) == 3) mode = m;
      if (std::strstr(line, "end of melody") != nullptr) ++melody;
      continue;
    }
    LoggedTone t;
    int slot = 0;
    double share = 0;
    if (std::sscanf(line, "%d %d %lld %lld %lld %lld %lf %lf %lld", &slot, &t.savel, &t.onNs, &t.offNs,
                    &t.gridNs, &t.callNs, &t.kestoMs, &share, &t.heardNs) == 9) {
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
    std::fprintf(
        stderr,
        "usage: audio_path_report CAPTURE.raw CAPTURE.times PLAYER.log [sink=US] [rate=HZ] [tones=OUT]\n");
    return 2;
  }
  Capture c;
  double sinkNs = 0;
  std::string tonesOut;
  for (int i = 4; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.starts_with("sink=")) sinkNs = std::atof(a.c_str() + 5) * 1e3;
    if (a.starts_with("rate=")) c.rate = std::atoi(a.c_str() + 5);
    if (a.starts_with("tones=")) tonesOut = a.substr(6);
  }
  std::vector<LoggedTone> tones;
  int period = 0;
  std::string mode;
  if (!readSamples(argv[1], c) || !readLog(argv[3], tones, period, mode) || !readArrivals(argv[2], c)) {
    std::fprintf(stderr, "cannot read the capture, its arrival times or the log\n");
    return 1;
  }
  const long long ms = c.rate / 1000;
  std::vector<long long> onset(tones.size(), -1), end(tones.size(), -1);
  std::vector<double> heard, reported, heardError, lengthErr;
  int dropouts = 0, missing = 0, sounding = 0;
  double offsetNs =
      static_cast<double>(tones.front().heardNs) - sinkNs;  // to the monitor; follows the last tone found
  for (size_t i = 0; i < tones.size(); ++i) {
    const LoggedTone& t = tones[i];
    if (t.savel == 0) continue;  // a rest sounds nothing
    ++sounding;
    const auto expected = static_cast<long long>(c.frameOf(static_cast<double>(t.onNs) + offsetNs));
    const long long f = findOnset(c, expected - 40 * ms, expected + 60 * ms);
    if (f < 0) {
      std::fprintf(stderr, "not found: tone %zu savel %d expected at %.1f ms\n", i, t.savel,
                   c.msOf(expected));
      ++missing;
      continue;
    }
    onset[i] = f;
    offsetNs = c.timeOf(static_cast<double>(f)) - static_cast<double>(t.onNs);
    heard.push_back((offsetNs + sinkNs) / 1e6);
    reported.push_back(static_cast<double>(t.heardNs) / 1e6);
    heardError.push_back(heard.back() - reported.back());
    const auto length = static_cast<long long>(static_cast<double>(t.offNs - t.onNs) / c.nsPerFrame);
    const int runs = silentRuns(c, f, f + length - ms, ms);
    if (runs > 0)
      std::fprintf(stderr, "dropout: tone %zu savel %d at %.1f ms, tone %.1f ms long\n", i, t.savel,
                   c.msOf(f), c.msOf(length));
    dropouts += runs;
  }
  if (FILE* out = tonesOut.empty() ? nullptr : std::fopen(tonesOut.c_str(), "w")) {
    for (size_t i = 0; i < tones.size(); ++i)
      if (onset[i] >= 0)
        std::fprintf(
            out, "%zu %lld %.3f %.3f\n", i, tones[i].onNs,
            (c.timeOf(static_cast<double>(onset[i])) + sinkNs - static_cast<double>(tones[i].onNs)) / 1e6,
            static_cast<double>(tones[i].heardNs) / 1e6);
    std::fclose(out);
  }
  // Tones heard off the common latency: a stream that stalled or moved, or a command applied late.
  if (!heard.empty()) {
    const double typical = taktovi::bench::median(heard);
    for (size_t i = 0; i < tones.size(); ++i) {
      if (onset[i] < 0) continue;
      const double at =
          (c.timeOf(static_cast<double>(onset[i])) + sinkNs - static_cast<double>(tones[i].onNs)) / 1e6;
      if (std::fabs(at - typical) > 2)
        std::fprintf(stderr, "off the latency: tone %zu savel %d at %.1f ms by %+.2f ms\n", i, tones[i].savel,
                     c.msOf(static_cast<double>(onset[i])), at - typical);
    }
  }
  // Tone ends, each looked for before the next tone's onset.
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
  // Each sounding tone against the next one of its melody.
  std::vector<double> ioiPlan, ioiGrid;
  for (size_t i = 0; i < tones.size(); ++i) {
    if (onset[i] < 0) continue;
    for (size_t j = i + 1; j < tones.size() && tones[j].melody == tones[i].melody; ++j) {
      if (tones[j].savel == 0) continue;
      if (onset[j] >= 0) {
        const double at = c.msOf(static_cast<double>(onset[j] - onset[i]));
        ioiPlan.push_back(at - static_cast<double>(tones[j].onNs - tones[i].onNs) / 1e6);
        ioiGrid.push_back(at - static_cast<double>(tones[j].gridNs - tones[i].gridNs) / 1e6);
      }
      break;
    }
  }
  const double minutes = static_cast<double>(tones.back().offNs - tones.front().onNs) / 60e9;
  const auto [gaps, gapMs] =
      recordingGaps(c, static_cast<double>(tones.front().onNs), static_cast<double>(tones.back().offNs));
  std::printf(
      "%s mode, period %d frames: %.1f min played, %.1f min recorded, %d sounding tones (%d not found); the "
      "sink's monitor skipped %d times, %.0f ms in all\n",
      mode.c_str(), period, minutes, static_cast<double>(c.frames()) / c.rate / 60, sounding, missing, gaps,
      gapMs);
  std::printf("  dropouts (>= 1 ms of digital silence inside a tone): %d (%.2f per minute)\n", dropouts,
              dropouts / std::max(minutes, 1e-9));
  print("inter-onset error against the slot grid", ioiGrid);
  print("inter-onset error against the planned times", ioiPlan);
  print("tone length error (heard - planned, to -10 dB)", lengthErr);
  print("heard latency, measured - reported", heardError);
  if (!heard.empty()) {
    std::printf(
        "  heard latency (planned time -> monitor + %.2f ms): measured median %.2f ms (%.2f .. %.2f), "
        "reported median %.2f ms (%.2f .. %.2f)\n",
        sinkNs / 1e6, taktovi::bench::median(heard), *std::min_element(heard.begin(), heard.end()),
        *std::max_element(heard.begin(), heard.end()), taktovi::bench::median(reported),
        *std::min_element(reported.begin(), reported.end()),
        *std::max_element(reported.begin(), reported.end()));
  }
  return 0;
}
