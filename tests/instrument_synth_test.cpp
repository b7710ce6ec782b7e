// The sound output on the built-in synthesizer with the programs' plan: the real engine
// (offline), the real soundfont, the real MIDI service.
#include <gtest/gtest.h>

#include <cmath>

#include "audio/engine_mixer.h"
#include "audio/system_midi_out.h"
#include "sound/program_plan.h"
#include "sound/sound_output.h"
#include "support/offline_run.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

class InstrumentSynth : public ::testing::Test {
 protected:
  static AudioEngine::Options options() {
    AudioEngine::Options o;
    o.output = AudioEngine::Output::Offline;
    o.synthPlan = builtinSynthPlan();
    return o;
  }
  void SetUp() override {
    sound_.startUp();
    sound_.finishCreation();
    engine_.waitForSynth();
    run_.runUntil(100'000'000 + engine_.latencyNs());  // the hand-over, and the start-up messages
    engine_.waitForSynth();
  }
  // Plays a tone value for 600 ms, ends it, lets it ring out; returns the tone's part of the
  // output (left and right interleaved).
  std::vector<float> play(int32_t arvo) {
    const int64_t t = clock_.nowNs();
    sound_.aloita_savel(arvo);
    run_.runUntil(t + 600'000'000);
    sound_.lopeta_savel();
    run_.runUntil(t + 1'500'000'000);
    const auto from = static_cast<size_t>(2 * run_.expectedFrame(t));
    return {run_.out.begin() + static_cast<ptrdiff_t>(from), run_.out.end()};
  }
  static float peak(const std::vector<float>& x) {
    float p = 0;
    for (float v : x) p = std::max(p, std::fabs(v));
    return p;
  }

  TestClock clock_;
  AudioEngine engine_{clock_, options()};
  SystemMidiOut midi_{engine_, openAlsaPorts()};
  EngineMixerFactory mixers_{&engine_};
  SoundOutput sound_{{{}, midi_, mixers_, clock_, "/nonexistent/"}};
  OfflineRun run_{engine_, clock_};
};

}  // namespace

TEST_F(InstrumentSynth, EachInstrumentSoundsAtOnceWithNothingReadAfterStart) {
  ASSERT_EQ(sound_.midilaite(), 0u);  // the built-in synthesizer
  const uint64_t loaded = engine_.stats().soundfontReads;
  ASSERT_GT(loaded, 0u);
  for (const Instrument& i : kInstruments) {
    sound_.selectInstrument(i);
    for (int32_t level : kMidiPitches) EXPECT_GT(peak(play(level)), 0.05f) << i.caption << " " << level;
  }
  sound_.soundTestPress();
  run_.runUntil(clock_.nowNs() + 300'000'000);
  sound_.soundTestRelease();
  engine_.waitForSynth();
  EXPECT_EQ(engine_.stats().soundfontReads, loaded);
  EXPECT_EQ(engine_.stats().soundfontReadsOnRenderThread, 0u);
}

TEST_F(InstrumentSynth, LoudestCatalogueToneAtFullVolumePeaksNearMinus3dB) {
  float loudest = 0;
  for (const Instrument& i : kInstruments) {
    sound_.selectInstrument(i);
    loudest = std::max(loudest, peak(play(1)));  // the strong tone
  }
  // The start-up set channel volume 127: the calibration plays at that volume too.
  const double db = 20 * std::log10(loudest);
  EXPECT_GT(db, -4.5);
  EXPECT_LT(db, -2.0);
}
