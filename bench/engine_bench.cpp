// Figures of the audio engine and the built-in synthesizer:
//  - synthesizer onset error against call time + latency, offline, callbacks with +-2 ms jitter
//  - real-time callbacks on SDL's dummy driver: wake-up jitter, the constant latency
//  - CPU of the audio thread, idle and with one sounding note
//  - UI-thread cost of creating engine + synthesizer, and the soundfont's load time
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "platform/audio_engine.h"
#include "platform/system_midi_out.h"
#include "figures.h"
#include "support/offline_run.h"

using namespace taktovi;

using bench::cpuSeconds;
using bench::stats;

namespace {

void synthOnsets(int tones) {
  TestClock clock;
  AudioEngine::Options o;
  o.output = AudioEngine::Output::Offline;
  AudioEngine engine(clock, o);
  engine.waitForSynth();
  test::OfflineRun run(engine, clock, 2.0, 7);
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> gap(0.6e9, 0.7e9);
  run.runUntil(10'000'000'000LL);  // the engine has run a while before the first melody
  double t = 10.0e9;
  std::vector<double> errMs;
  for (int i = 0; i < tones; ++i) {
    t += gap(rng);
    const auto call = static_cast<int64_t>(t);
    run.runUntil(call);
    engine.midi(0x007F3C90);  // strong tone, piano
    run.runUntil(call + 150'000'000);
    engine.synthReset();
    const int64_t expected = run.expectedFrame(call);
    const int64_t onset = run.firstAbove(expected - 2000, 0.01f);
    errMs.push_back((onset - expected) * 1000.0 / engine.rate());
  }
  const bench::Stats s = stats(errMs);
  std::printf("synth onset error, %d tones, offline, callback jitter +-2 ms, %d Hz, period %d:\n", tones,
              engine.rate(), engine.period());
  std::printf("  constant part (attack to threshold) %.3f ms; SD %.3f ms; max deviation %.3f ms; late commands %llu\n",
              s.mean, s.sd, s.maxDev, static_cast<unsigned long long>(engine.lateCommands()));
}

void realTime() {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  SteadyClock clock;
  AudioEngine::Options o;
  const double t0 = clock.nowNs();
  AudioEngine engine(clock, o);
  SystemMidiOut midi(engine, openAlsaPorts());
  const double createMs = (clock.nowNs() - t0) / 1e6;
  std::printf("start-up on the UI thread: engine + synthesizer + MIDI service %.2f ms (device: %s)\n", createMs,
              engine.hasDevice() ? "SDL dummy" : "none");
  engine.waitForSynth();
  std::printf("soundfont load + calibration on the worker thread: %.0f ms, full-volume gain %.3f\n",
              engine.synthLoadNs() / 1e6, engine.synthFullGain());
  if (!engine.hasDevice()) return;
  std::printf("device: %d Hz, period %d frames; constant latency %.2f ms, heard %.2f ms after a call\n",
              engine.rate(), engine.period(), engine.latencyNs() / 1e6, engine.heardLatencyNs() / 1e6);
  sleep(2);  // the timeline locks on the driver's pace
  const auto before = engine.callbackStats();
  double c0 = cpuSeconds();
  sleep(3);
  const double idle = (cpuSeconds() - c0) / 3 * 100;
  HMIDIOUT h = 0;
  midi.midiOutOpen(h, 0);
  midi.midiOutShortMsg(h, 0x007F13C0);  // an organ (program 19): a note that sustains
  midi.midiOutShortMsg(h, 0x00733C90);
  c0 = cpuSeconds();
  sleep(3);
  const double one = (cpuSeconds() - c0) / 3 * 100;
  midi.midiOutReset(h);
  const auto after = engine.callbackStats();
  const auto n = after.callbacks - before.callbacks;
  const double rms = std::sqrt((after.sumSquaredErrorNs - before.sumSquaredErrorNs) / n);
  std::printf("callback wake-up against the steady clock's timeline (%llu callbacks after lock-in): RMS %.3f ms, max %.3f ms\n",
              static_cast<unsigned long long>(n), rms / 1e6, after.maxAbsErrorNs / 1e6);
  std::printf("audio thread CPU: idle %.2f %% of a core, one sounding note %.2f %%\n", idle, one);
}

}  // namespace

int main(int argc, char** argv) {
  const int tones = argc > 1 ? std::atoi(argv[1]) : 500;
  synthOnsets(tones);
  realTime();
  return 0;
}
