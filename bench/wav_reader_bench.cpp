// The reader's four steps on a 2 s, 44.1 kHz, mono, 16-bit sample (part of the WAV-mode switch).
#include <benchmark/benchmark.h>

#include <cmath>

#include "support/wav_builder.h"
#include "wave/ds_wave_files.h"

using namespace taktovi;

static void BM_WavFourSteps(benchmark::State& state) {
  test::TempDir dir;
  std::vector<int16_t> s(88200);
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(8000 * std::sin(i * 0.0627));
  const std::string path = dir.write("sample.wav", test::pcmWave(test::pcm16(s)));
  std::vector<uint8_t> dst(s.size() * 2);
  for (auto _ : state) {
    WaveHandle h;
    FormatRecord fmt;
    ChunkInfo riff, data;
    WavOpen(path.c_str(), h, fmt, riff);
    WavStartData(h, data, riff);
    uint32_t got = 0;
    WavRead(h, static_cast<uint32_t>(dst.size()), dst.data(), data, got);
    WavRelease(h, fmt);
    benchmark::DoNotOptimize(got);
  }
}
BENCHMARK(BM_WavFourSteps)->Unit(benchmark::kMicrosecond)->Repetitions(15)->ReportAggregatesOnly(true);
