// The built-in synthesizer's lighter load: what the plan holds is there at the hand-over and
// stays; anything else is loaded by the worker, never by the thread that renders.
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "audio/audio_engine.h"
#include "audio/system_midi_out.h"
#include "support/offline_run.h"
#include "synth/loaded_synth.h"

using namespace taktovi;
using namespace taktovi::test;

namespace {

const SynthPlan kPianoAndMarimba = {{0, 12}, {0}, {{60, 127}}};

// An engine started offline with the test clock at 0, and the tones played through it.
struct SynthRig {
  explicit SynthRig(SynthPlan plan)
      : engine(clock, offline(defaultSoundfonts(), std::move(plan))), run(engine, clock) {
    engine.waitForSynth();
  }
  // Chooses the program on `channel`, plays note 60 for 300 ms and returns the loudness of
  // its first 100 ms (RMS of the left channel), from the block after the one the commands
  // land in.
  double tone(uint32_t program, uint32_t channel = 0) {
    const int64_t t = clock.nowNs();
    engine.midi(0x007F00C0u | channel | program << 8);
    engine.midi(0x007F3C90u | channel);
    run.runUntil(t + 300'000'000);
    engine.midi(0x00007BB0u | channel);
    run.runUntil(t + 1'000'000'000);
    const int64_t from = run.expectedFrame(t) + BuiltinSynth::kBlock;
    return run.rms(from, from + engine.rate() / 10);
  }
  uint64_t reads() const { return engine.stats().soundfontReads; }

  TestClock clock;
  AudioEngine engine;
  OfflineRun run;
};

}  // namespace

TEST(BuiltinSynth, PlannedPresetsSoundAtOnceAndOthersAreLoadedOffTheRenderingThread) {
  SynthRig r(kPianoAndMarimba);
  const uint64_t loaded = r.reads();
  ASSERT_GT(loaded, 0u);  // the worker read the headers and the plan's samples
  EXPECT_GT(r.tone(0), 0.005);
  EXPECT_GT(r.tone(12), 0.005);
  EXPECT_EQ(r.reads(), loaded);  // the plan's presets were there: nothing read

  // The organ is not in the plan: its channel is silent while the worker loads it...
  EXPECT_EQ(r.tone(19), 0.0);
  r.engine.waitForSynth();
  EXPECT_GT(r.reads(), loaded);
  // ...and then it sounds, kept like the plan's: going back and forth reads nothing more.
  EXPECT_GT(r.tone(19), 0.005);
  const uint64_t withOrgan = r.reads();
  for (uint32_t program : {0, 19, 12, 19}) EXPECT_GT(r.tone(program), 0.005) << program;
  EXPECT_EQ(r.reads(), withOrgan);
  EXPECT_EQ(r.engine.stats().soundfontReadsOnRenderThread, 0u);
}

TEST(BuiltinSynth, ChannelsWithoutAProgramPlayProgram0AndTheDrumKitIsNeverLoadedUnasked) {
  SynthRig r(kPianoAndMarimba);
  const uint64_t loaded = r.reads();
  const int64_t t = r.clock.nowNs();
  r.engine.midi(0x007F3C92);  // note on, channel 3: no program chosen there
  r.run.runUntil(t + 300'000'000);
  const int64_t from = r.run.expectedFrame(t);
  EXPECT_GT(r.run.rms(from, from + 4800), 0.005);
  r.engine.midi(0x00007BB2);
  r.run.runUntil(t + 3'000'000'000LL);
  r.engine.midi(0x007F3C99);  // note on, channel 10: the drum kit, not in the plan
  r.run.runUntil(t + 3'300'000'000LL);
  const int64_t drum = r.run.expectedFrame(t + 3'000'000'000LL);
  EXPECT_EQ(r.run.peak(drum - 4800, drum + 9600), 0.0f);
  r.engine.waitForSynth();
  EXPECT_EQ(r.reads(), loaded);
}

TEST(BuiltinSynth, FileReadsOnTheRenderingThreadAreSeen) {
  SoundfontReads reads;
  LoadedSynth* s = loadSynth(findSoundfont(defaultSoundfonts()).path, 48000, {{0}, {}, {}}, reads);
  ASSERT_NE(s, nullptr);
  EXPECT_GT(reads.all.load(), 0u);
  EXPECT_EQ(reads.onRenderThread.load(), 0u);  // this thread does not render yet
  reads.renderThread = std::this_thread::get_id();
  BuiltinSynth synth;
  synth.adopt(s);
  synth.shortMessage(0x007F13C0);  // organ: not loaded, asked for, nothing read
  EXPECT_TRUE(synth.wantsLoad());
  EXPECT_EQ(reads.onRenderThread.load(), 0u);
  // FluidSynth's own program change, which the audio side never makes, would read it here.
  fluid_synth_program_change(s->synth, 1, 19);
  EXPECT_GT(reads.onRenderThread.load(), 0u);
  freeSynth(synth.release());
}

TEST(BuiltinSynth, PatchCachingLoadsPresetsBeforeTheyAreChosen) {
  SynthRig r(kPianoAndMarimba);
  SystemMidiOut midi(r.engine, openAlsaPorts());
  HMIDIOUT h = 0;
  ASSERT_EQ(midi.midiOutOpen(h, 0), 0u);
  const uint64_t loaded = r.reads();
  uint16_t patches[128] = {};
  patches[0] = patches[12] = 1;
  ASSERT_EQ(midi.midiOutCachePatches(h, 0, patches, MIDI_CACHE_BESTFIT), 0u);
  r.run.runUntil(r.clock.nowNs() + r.engine.latencyNs() + 50'000'000);
  r.engine.waitForSynth();
  EXPECT_EQ(r.reads(), loaded);  // the plan's: nothing to do
  patches[56] = 1;
  ASSERT_EQ(midi.midiOutCachePatches(h, 0, patches, MIDI_CACHE_BESTFIT), 0u);
  r.run.runUntil(r.clock.nowNs() + r.engine.latencyNs() + 50'000'000);
  r.engine.waitForSynth();
  const uint64_t cached = r.reads();
  EXPECT_GT(cached, loaded);
  EXPECT_GT(r.tone(56), 0.005);  // the trumpet sounds at once when chosen
  EXPECT_EQ(r.reads(), cached);
  EXPECT_EQ(r.engine.stats().soundfontReadsOnRenderThread, 0u);
}

TEST(BuiltinSynth, OnTheDummyDriverTheCallbackThreadReadsNothing) {
  SteadyClock clock;
  AudioEngine::Options o;
  o.output = AudioEngine::Output::Device;
  o.synthPlan = kPianoAndMarimba;
  AudioEngine engine(clock, o);
  ASSERT_TRUE(engine.hasDevice());
  engine.waitForSynth();
  const uint64_t loaded = engine.stats().soundfontReads;
  for (uint32_t program : {12, 19, 0, 107}) engine.midi(0x007F00C0u | program << 8);
  // The callback takes the commands after the latency and lends the synthesizer for 19 and 107.
  for (int i = 0; i < 400 && engine.stats().soundfontReads == loaded; ++i) usleep(5000);
  engine.waitForSynth();
  EXPECT_GT(engine.stats().soundfontReads, loaded);
  EXPECT_EQ(engine.stats().soundfontReadsOnRenderThread, 0u);
}
