// Figures of the audio engine and the built-in synthesizer:
//  - resident memory before the engine, with the soundfont ready, and after tones of each
//    instrument; how long after start the soundfont is ready
//  - synthesizer onset error against call time + latency, offline, callbacks up to 4 ms late
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

#include "audio/audio_engine.h"
#include "audio/system_midi_out.h"
#include "figures.h"
#include "sound/program_plan.h"
#include "support/offline_run.h"

using namespace taktovi;

using bench::cpuSeconds;
using bench::residentMb;
using bench::stats;

namespace {

// Runs first, in a fresh process, so the figures are the engine's own.
void memory() {
  const double before = residentMb();
  SteadyClock steady;
  TestClock clock;
  AudioEngine::Options o;
  o.output = AudioEngine::Output::Offline;
  o.synthPlan = builtinSynthPlan();
  const int64_t t0 = steady.nowNs();
  const double cpu0 = cpuSeconds();
  AudioEngine engine(clock, o);
  engine.waitForSynth();
  const double readyMs = (steady.nowNs() - t0) / 1e6;
  const double loadCpuMs = (cpuSeconds() - cpu0) * 1e3;  // the worker's: this thread waits
  const double ready = residentMb();
  test::OfflineRun run(engine, clock);
  auto play = [&](int program) {
    engine.midi(0x007F00C0u | static_cast<uint32_t>(program) << 8);
    engine.midi(0x007F3C90);  // strong tone
    run.runUntil(clock.nowNs() + 500'000'000);
    engine.midi(0x00007BB0);
    run.runUntil(clock.nowNs() + 500'000'000);
  };
  for (int p : o.synthPlan.presets) play(p);
  const double played = residentMb();
  // A preset outside the plan: the audio thread lends the synthesizer to the worker.
  engine.midi(0x007F13C0);  // organ, program 19
  const int64_t t1 = steady.nowNs();
  run.runUntil(clock.nowNs() + 20'000'000);  // the callback that takes the command lends
  engine.waitForSynth();
  const double lendMs = (steady.nowNs() - t1) / 1e6;
  play(19);
  const auto access = engine.stats();
  std::printf("built-in synthesizer, resident memory of this process (VmRSS):\n");
  std::printf("  before the engine %.1f MB; soundfont ready %.1f MB (+%.1f MB)\n", before, ready,
              ready - before);
  std::printf("  after a tone of each of the %zu presets of the plan %.1f MB\n", o.synthPlan.presets.size(),
              played);
  std::printf(
      "  soundfont ready %.0f ms after start (calibration %.0f ms of it; CPU %.0f ms), full-volume gain "
      "%.3f\n",
      readyMs, access.synthCalibrationNs / 1e6, loadCpuMs, access.synthFullGain);
  std::printf("  a preset outside the plan: silent for %.1f ms while the worker loads it, then %.1f MB\n",
              lendMs, residentMb());
  std::printf("  soundfont file operations: %llu, on the rendering thread %llu\n",
              static_cast<unsigned long long>(access.soundfontReads),
              static_cast<unsigned long long>(access.soundfontReadsOnRenderThread));
}

void synthOnsets(int tones) {
  TestClock clock;
  AudioEngine::Options o;
  o.output = AudioEngine::Output::Offline;
  o.synthPlan = builtinSynthPlan();
  AudioEngine engine(clock, o);
  engine.waitForSynth();
  test::OfflineRun run(engine, clock, 4.0, 7);
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
  std::printf("synth onset error, %d tones, offline, callbacks up to 4 ms late, %d Hz, period %d:\n", tones,
              engine.rate(), engine.period());
  std::printf(
      "  constant part (attack to threshold) %.3f ms; SD %.3f ms; max deviation %.3f ms; late commands "
      "%llu\n",
      s.mean, s.sd, s.maxDev, static_cast<unsigned long long>(engine.stats().lateCommands));
}

void realTime() {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  SteadyClock clock;
  AudioEngine::Options o;
  o.synthPlan = builtinSynthPlan();
  const double t0 = clock.nowNs();
  AudioEngine engine(clock, o);
  SystemMidiOut midi(engine, openAlsaPorts());
  const double createMs = (clock.nowNs() - t0) / 1e6;
  std::printf("start-up on the UI thread: engine + synthesizer + MIDI service %.2f ms (device: %s)\n",
              createMs, engine.hasDevice() ? "SDL dummy" : "none");
  engine.waitForSynth();
  const auto loaded = engine.stats();
  std::printf("soundfont ready %.0f ms after start (calibration %.0f ms of it), full-volume gain %.3f\n",
              loaded.synthLoadNs / 1e6, loaded.synthCalibrationNs / 1e6, loaded.synthFullGain);
  if (!engine.hasDevice()) return;
  std::printf("device: %d Hz, period %d frames; constant latency %.2f ms, heard %.2f ms after a call\n",
              engine.rate(), engine.period(), engine.latencyNs() / 1e6, engine.heardLatencyNs() / 1e6);
  sleep(2);  // the timeline locks on the driver's pace
  const auto before = engine.stats();
  double c0 = cpuSeconds();
  sleep(3);
  const double idle = (cpuSeconds() - c0) / 3 * 100;
  HMIDIOUT h = 0;
  midi.midiOutOpen(h, 0);
  midi.midiOutShortMsg(h, 0x007F47C0);  // the clarinet (program 71): a note that sustains
  midi.midiOutShortMsg(h, 0x00733C90);
  c0 = cpuSeconds();
  sleep(3);
  const double one = (cpuSeconds() - c0) / 3 * 100;
  midi.midiOutReset(h);
  const auto after = engine.stats();
  const auto n = after.callbacks - before.callbacks;
  const double rms = std::sqrt((after.sumSquaredErrorNs - before.sumSquaredErrorNs) / n);
  std::printf(
      "callback wake-up against the steady clock's timeline (%llu callbacks after lock-in): RMS %.3f ms, max "
      "%.3f ms\n",
      static_cast<unsigned long long>(n), rms / 1e6, after.maxAbsErrorNs / 1e6);
  std::printf("audio thread CPU: idle %.2f %% of a core, one sounding note %.2f %%\n", idle, one);
}

}  // namespace

int main(int argc, char** argv) {
  const int tones = argc > 1 ? std::atoi(argv[1]) : 500;
  memory();
  synthOnsets(tones);
  realTime();
  return 0;
}
