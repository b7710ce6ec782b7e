// Figures of WAV mode:
//  - the switch (LuoDirectsound on a 2.2 s sample): median and worst of 101 runs
//  - onset error of restarted tones against call time + latency, offline, callbacks up to
//    4 ms late, 600 tones
//  - lopeta_savel's duration in WAV mode, and the largest sample step at a tone's end
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

#include "audio/engine_mixer.h"
#include "figures.h"
#include "sound/sound_output.h"
#include "support/offline_run.h"
#include "support/recording_midi_out.h"
#include "support/wav_builder.h"

using namespace taktovi;

using bench::median;

namespace {

struct ModeRig {
  ModeRig(const Clock& clock, const std::string& dir)
      : engine(clock, options()), mixers(&engine), sound({SoundProfile{}, midi, mixers, clock, dir}) {
    sound.startUp();
    sound.finishCreation();
  }
  static AudioEngine::Options options() {
    AudioEngine::Options o;
    o.output = AudioEngine::Output::Offline;
    o.soundfonts = {};
    return o;
  }
  test::RecordingMidiOut midi;
  AudioEngine engine;
  EngineMixerFactory mixers;
  SoundOutput sound;
};

void modeSwitch(const std::string& binDir) {
  SteadyClock clock;
  ModeRig rig(clock, binDir);
  std::vector<double> ms;
  for (int i = 0; i < 101; ++i) {
    const int64_t t0 = clock.nowNs();
    rig.sound.LuoDirectsound();
    ms.push_back((clock.nowNs() - t0) / 1e6);
    rig.engine.render(64);  // lets the audio side hand the old buffer back
  }
  std::printf("WAV-mode switch (LuoDirectsound, piano.wav 2.2 s): median %.3f ms, max %.3f ms\n", median(ms),
              *std::max_element(ms.begin(), ms.end()));
}

void onsets(int tones) {
  test::TempDir dir;
  dir.write("piano.wav", test::pcmWave(test::pcm16(std::vector<int16_t>(44100, 16000))));
  TestClock clock;
  ModeRig rig(clock, dir.path().string() + "/");
  rig.sound.LuoDirectsound();
  test::OfflineRun run(rig.engine, clock, 4.0, 3);
  run.runUntil(10'000'000'000LL);
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> gap(0.15e9, 0.25e9);
  double t = 10e9;
  std::vector<int64_t> expected;
  for (int i = 0; i < tones; ++i) {
    t += gap(rng);
    const auto call = static_cast<int64_t>(t);
    run.runUntil(call);
    rig.sound.aloita_savel(44100);
    run.runUntil(call + 60'000'000);
    rig.sound.aloita_savel(0);  // a rest: silence within the ramp
    expected.push_back(run.expectedFrame(call));
  }
  run.runUntil(static_cast<int64_t>(t) + 1'000'000'000);  // everything called has been rendered
  std::vector<double> err;
  for (int64_t e : expected)
    err.push_back((run.firstAbove(e - 1000, 1e-6f) - e) * 1000.0 / rig.engine.rate());
  const bench::Stats st = bench::stats(err);
  std::printf(
      "WAV onset error, %d restarted tones, callbacks up to 4 ms late: mean %.4f ms, SD %.4f ms, max |error| "
      "%.4f ms, late %llu\n",
      tones, st.mean, st.sd, st.maxAbs, static_cast<unsigned long long>(rig.engine.stats().lateCommands));
}

void toneEnd() {
  test::TempDir dir;
  std::vector<int16_t> s(88200);
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<int16_t>(16384 * std::sin(2 * M_PI * 441 * i / 44100.0));
  dir.write("piano.wav", test::pcmWave(test::pcm16(s)));
  // Duration on the real clock.
  {
    SteadyClock clock;
    ModeRig rig(clock, dir.path().string() + "/");
    rig.sound.LuoDirectsound();
    std::vector<double> us;
    for (int i = 0; i < 200; ++i) {
      rig.sound.aloita_savel(i % 2 ? 1 : 38800);
      const int64_t t0 = clock.nowNs();
      rig.sound.lopeta_savel();
      us.push_back((clock.nowNs() - t0) / 1e3);
      rig.engine.render(16384);  // drains the commands
    }
    std::printf("lopeta_savel in WAV mode (one fade command): median %.1f us, max %.1f us\n", median(us),
                *std::max_element(us.begin(), us.end()));
  }
  // Largest step at the end of a full-level tone, against a 5 ms linear fade of the same signal.
  TestClock clock;
  ModeRig rig(clock, dir.path().string() + "/");
  rig.sound.LuoDirectsound();
  test::OfflineRun run(rig.engine, clock);
  run.runMs(100);
  rig.sound.aloita_savel(1);
  run.runMs(400);
  const int64_t endCall = clock.nowNs();
  rig.sound.lopeta_savel();
  run.runMs(500);
  const int64_t end = run.expectedFrame(endCall);
  const int rate = rig.engine.rate();
  float step = 0, ideal = 0;
  const int rampFrames = rate / 200;
  for (int64_t f = end; f < end + 2 * rampFrames; ++f)
    step = std::max(step, std::fabs(run.out[2 * f] - run.out[2 * (f - 1)]));
  // The same sine with a 5 ms linear fade: its largest step.
  const double amp = 0.5 * rig.engine.rate() / rate;  // full level, 16384/32768
  for (int k = 1; k < rampFrames; ++k) {
    auto y = [&](int n) {
      return amp * (1.0 - static_cast<double>(n) / rampFrames) *
             std::sin(2 * M_PI * 441 * 34600.0 / 44100 * n / rate);
    };
    ideal = std::max(ideal, static_cast<float>(std::fabs(y(k) - y(k - 1))));
  }
  std::printf("largest sample step at a tone's end: %.5f (a 5 ms linear fade of the same tone: %.5f)\n", step,
              ideal);
}

}  // namespace

int main() {
  const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/";
  modeSwitch(bin);
  onsets(600);
  toneEnd();
  return 0;
}
